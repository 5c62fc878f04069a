#include "app/PlatformChoice.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QIcon>
#include <QSocketNotifier>
#include <QTimer>

#include "app/EngineThreadControl.h"
#include "app/SessionMonitor.h"
#include "app/StandInEngine.h"
#include "platform/linux/desktop/LinuxDesktopPlatform.h"
#include "platform/linux/desktop/LogindSession.h"
#include "platform/standin/StandInPlatform.h"
#include "preferences/PreferencesTabView.h"

namespace gm::app {

namespace {

// Runs blocks on the Qt main thread (dropped when there is no application object).
class QtMainQueue final : public platform::DispatchQueue {
public:
    void async(std::function<void()> block) override {
        if (auto* app = QCoreApplication::instance()) QMetaObject::invokeMethod(app, std::move(block), Qt::QueuedConnection);
    }
    void asyncAfter(double seconds, std::function<void()> block) override {
        if (auto* app = QCoreApplication::instance())
            QTimer::singleShot(static_cast<int>(seconds * 1000), app, std::move(block));
    }
};

QtMainQueue& uiQueue() {
    static QtMainQueue queue;
    return queue;
}

// Application names and icons from the desktop entries.
class DesktopAppInfo final : public preferences::AppInfoProvider {
public:
    explicit DesktopAppInfo(std::shared_ptr<const platform::linux_desktop::AppResolver> resolver)
        : resolver_(std::move(resolver)) {}
    preferences::AppInfo info(const std::string& bundleId) const override {
        preferences::AppInfo fallback = AppInfoProvider::info(bundleId);
        const auto display = resolver_->displayForBundleIdentifier(bundleId);
        if (!display.name.empty()) fallback.name = QString::fromStdString(display.name);
        if (!display.icon.empty()) {
            const QString icon = QString::fromStdString(display.icon);
            QIcon themed = QFileInfo(icon).isAbsolute() ? QIcon(icon) : QIcon::fromTheme(icon);
            if (!themed.isNull()) fallback.icon = themed;
        }
        return fallback;
    }

private:
    std::shared_ptr<const platform::linux_desktop::AppResolver> resolver_;
};

class SessionWatch final : public QObject {
public:
    explicit SessionWatch(std::unique_ptr<platform::linux_desktop::LogindSession> session)
        : session_(std::move(session)), notifier_(session_->fd(), QSocketNotifier::Read, this) {
        connect(&notifier_, &QSocketNotifier::activated, this, [this] { session_->process(); });
    }

private:
    std::unique_ptr<platform::linux_desktop::LogindSession> session_;
    QSocketNotifier notifier_;
};

}  // namespace

std::unique_ptr<platform::Platform> makePlatform() {
    if (standInRequested()) return std::make_unique<platform::standin::StandInPlatform>();
    return std::make_unique<platform::linux_desktop::LinuxDesktopPlatform>(uiQueue());
}

std::unique_ptr<EngineControl> makeEngine(platform::Platform& platform) {
    if (auto* linuxPlatform = dynamic_cast<platform::linux_input::LinuxPlatform*>(&platform))
        return std::make_unique<EngineThreadControl<platform::linux_input::LinuxPlatform>>(*linuxPlatform);
    return std::make_unique<StandInEngine>(platform.inputAccess());
}

WindowContent makeWindowContent(platform::Platform& platform, settings::SettingsManager& settings) {
    auto* desktop = dynamic_cast<platform::linux_desktop::LinuxDesktopPlatform*>(&platform);
    if (!desktop) return windowContent(settings, platform.workspace(), std::make_shared<preferences::AppInfoProvider>());
    QString exceptionsNotice;
    if (!desktop->knowsApplicationUnderPointer())
        exceptionsNotice = QObject::tr("Exceptions apply only on X11, sway, Hyprland, and on GNOME and KDE Plasma "
                                       "with Glidemark's extension or KWin script switched on: this desktop does "
                                       "not say which application is under the pointer.");
    return windowContent(settings, platform.workspace(), std::make_shared<DesktopAppInfo>(desktop->resolver()),
                         exceptionsNotice);
}

std::unique_ptr<QObject> watchSession(SessionMonitor& monitor) {
    if (standInRequested()) return nullptr;
    auto session = platform::linux_desktop::LogindSession::open(
        uiQueue(), {[&monitor] { emit monitor.sessionDidBecomeActive(); },
                    [&monitor] { emit monitor.sessionDidResignActive(); }});
    if (!session) return nullptr;
    return std::make_unique<SessionWatch>(std::move(session));
}

}  // namespace gm::app
