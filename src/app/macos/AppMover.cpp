#include "app/AppMover.h"

#include <QFileInfo>

#include "app/LaunchAtLogin.h"
#include "app/Utils.h"
#include "app/macos/MacMoverSystem.h"
#include "platform/Log.h"

namespace gm::app::AppMover {

namespace {

// The real system, with the question asked through the shell's alerts.
class AlertingMoverSystem final : public macos::MacMoverSystem {
public:
    bool confirmMove(const std::string& informativeText) override {
        const Alert alert{QStringLiteral("Move to Applications folder"), QString::fromStdString(informativeText),
                          {QStringLiteral("Move to Applications Folder"), QStringLiteral("Do Not Move")}};
        return Utils::alerts().run(alert) == kAlertFirstButton;
    }
    void movedTo(const std::string& bundle) override {
        LaunchAtLogin::followProgram(QString::fromStdString(bundle) + QStringLiteral("/Contents/MacOS/") +
                                     QFileInfo(LaunchAtLogin::programPath()).fileName());
    }
};

}  // namespace

Outcome moveToApplicationsFolderIfNecessary() {
    if (!qEnvironmentVariableIsEmpty("GLIDEMARK_NO_MOVE")) return Outcome::Stay;
    AlertingMoverSystem system;
    switch (macos::moveToApplicationsFolderIfNecessary(system)) {
    case macos::MoveOutcome::Stay: return Outcome::Stay;
    case macos::MoveOutcome::BroughtForward: return Outcome::BroughtForward;
    case macos::MoveOutcome::Relaunch:
        platform::log().info("Move: relaunching from the Applications folder");
        return Outcome::Relaunch;
    case macos::MoveOutcome::Terminate: return Outcome::Terminate;
    }
    return Outcome::Stay;
}

bool waitForProcessToEnd(qint64 pid, int timeoutMs) { return macos::waitForProcessToEnd(pid, timeoutMs); }

}  // namespace gm::app::AppMover
