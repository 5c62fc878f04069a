#include "app/PlatformChoice.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>

#include "app/EngineThreadControl.h"
#include "app/SessionMonitor.h"
#include "app/StandInEngine.h"
#include "app/macos/AppLookup.h"
#include "platform/macos/MacPlatform.h"
#include "platform/macos/MacWorkspace.h"
#include "platform/standin/StandInPlatform.h"
#include "preferences/PreferencesTabView.h"

namespace gm::app {

namespace {

// Names from the installed bundle, icons from the file system.
class BundleAppInfo final : public preferences::AppInfoProvider {
public:
    preferences::AppInfo info(const std::string& bundleId) const override {
        preferences::AppInfo found = AppInfoProvider::info(bundleId);
        const auto app = macos::installedApplication(bundleId);
        if (!app) return found;
        found.name = QString::fromStdString(app->name);
        const QIcon icon = QFileIconProvider().icon(QFileInfo(QString::fromStdString(app->path)));
        if (!icon.isNull()) found.icon = icon;
        return found;
    }
};

class SessionWatch final : public QObject {
public:
    explicit SessionWatch(SessionMonitor& monitor)
        : observer_([&monitor] { emit monitor.sessionDidBecomeActive(); },
                    [&monitor] { emit monitor.sessionDidResignActive(); }) {}

private:
    platform::macos::SessionObserver observer_;
};

}  // namespace

std::unique_ptr<platform::Platform> makePlatform() {
    if (standInRequested()) return std::make_unique<platform::standin::StandInPlatform>();
    return std::make_unique<platform::macos::MacPlatform>();
}

std::unique_ptr<EngineControl> makeEngine(platform::Platform& platform) {
    if (auto* mac = dynamic_cast<platform::macos::MacPlatform*>(&platform))
        return std::make_unique<EngineThreadControl<platform::macos::MacPlatform>>(*mac);
    return std::make_unique<StandInEngine>(platform.inputAccess());
}

WindowContent makeWindowContent(platform::Platform& platform, settings::SettingsManager& settings) {
    return windowContent(settings, platform.workspace(), std::make_shared<const BundleAppInfo>());
}

std::unique_ptr<QObject> watchSession(SessionMonitor& monitor) {
    if (standInRequested()) return nullptr;
    return std::make_unique<SessionWatch>(monitor);
}

}  // namespace gm::app
