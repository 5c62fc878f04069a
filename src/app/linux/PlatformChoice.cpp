#include "app/PlatformChoice.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QIcon>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdlib>
#include <cstring>

#include "app/LaunchAtLogin.h"
#include "app/SessionMonitor.h"
#include "app/StandInEngine.h"
#include "app/StatusBarManager.h"
#include "app/update/AboutView.h"
#include "app/update/UpdaterManager.h"
#include "app/update/UpdatesView.h"
#include "engine/Engine.h"
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

// The engine runs on the Linux backend's engine thread (its taps, timers and
// main-queue work live there), so the shell's calls are handed over to it.
class LinuxEngineControl final : public EngineControl {
public:
    explicit LinuxEngineControl(platform::linux_input::LinuxPlatform& platform)
        : platform_(platform), engine_(engine::Engine::shared()) {}
    ~LinuxEngineControl() override {
        // The shell ends the engine on the way out; make sure that has happened before the threads stop.
        platform_.engineLoop().runSync([this] { engine_.core.end(); });
        platform_.shutdown();
    }
    void start() override {
        platform_.runOnEngineThread([this] { engine_.core.start(); });
    }
    void end() override {
        platform_.runOnEngineThread([this] { engine_.core.end(); });
    }
    bool isActive() const override { return engine_.core.isActive(); }

private:
    platform::linux_input::LinuxPlatform& platform_;
    engine::Engine& engine_;
};

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

// GLIDEMARK_BACKEND=standin runs the shell on stand-ins that touch no device:
// for tests of the program itself, and for looking at the UI on a machine
// without mice or access.
bool standInRequested() {
    const char* backend = std::getenv("GLIDEMARK_BACKEND");
    return backend && std::strcmp(backend, "standin") == 0;
}

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
        return std::make_unique<LinuxEngineControl>(*linuxPlatform);
    return std::make_unique<StandInEngine>(platform.inputAccess());
}

WindowContent makeWindowContent(platform::Platform& platform, settings::SettingsManager& settings) {
    WindowContent content = WindowContent::interim();
    std::shared_ptr<const preferences::AppInfoProvider> appInfo;
    QString exceptionsNotice;
    if (auto* desktop = dynamic_cast<platform::linux_desktop::LinuxDesktopPlatform*>(&platform)) {
        appInfo = std::make_shared<DesktopAppInfo>(desktop->resolver());
        if (!desktop->knowsApplicationUnderPointer())
            exceptionsNotice = QObject::tr("Exceptions apply only on X11, sway, Hyprland, and on GNOME and KDE Plasma "
                                           "with Glidemark's extension or KWin script switched on: this desktop does "
                                           "not say which application is under the pointer.");
    } else {
        appInfo = std::make_shared<preferences::AppInfoProvider>();
    }
    platform::Workspace* workspace = &platform.workspace();
    content.about = [] { return static_cast<QWidget*>(new update::AboutView); };
    content.preferences = [&settings, workspace, appInfo, exceptionsNotice] {
        preferences::PreferencesContext context;
        context.settingsManager = &settings;
        context.workspace = workspace;
        context.appInfo = appInfo.get();
        context.exceptionsNotice = exceptionsNotice;
        context.generalActions.setLaunchAtLogin = [](bool enabled) { LaunchAtLogin::setEnabled(enabled); };
        context.generalActions.setMenuIconVisible = [](bool visible) {
            if (StatusBarManager* bar = StatusBarManager::shared()) bar->setVisible(visible);
        };
        // Without an update feed the page says where updates come from instead.
        if (update::UpdaterManager::isAvailable())
            context.updatesPage = [] { return static_cast<QWidget*>(new update::UpdatesView); };
        // This factory, and with it the provider, lives as long as the window registry's content.
        return static_cast<QWidget*>(preferences::createPreferencesTabView(context));
    };
    return content;
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
