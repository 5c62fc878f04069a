#include "app/PlatformChoice.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <cstdlib>
#include <cstring>

#include "app/LaunchAtLogin.h"
#include "app/SessionMonitor.h"
#include "app/StandInEngine.h"
#include "app/StatusBarManager.h"
#include "app/macos/AppLookup.h"
#include "app/update/AboutView.h"
#include "app/update/UpdaterManager.h"
#include "app/update/UpdatesView.h"
#include "engine/Engine.h"
#include "platform/macos/MacPlatform.h"
#include "platform/macos/MacWorkspace.h"
#include "platform/standin/StandInPlatform.h"
#include "preferences/PreferencesTabView.h"

namespace gm::app {

namespace {

// The engine has a thread and run loop of its own (its taps, keeper timers and
// main-queue work live there), so the shell's calls are handed over to it.
class MacEngineControl final : public EngineControl {
public:
    explicit MacEngineControl(platform::macos::MacPlatform& platform)
        : platform_(platform), engine_(engine::Engine::shared()) {}
    ~MacEngineControl() override {
        platform_.runOnEngineThreadAndWait([this] { engine_.core.end(); });
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
    platform::macos::MacPlatform& platform_;
    engine::Engine& engine_;
};

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

// GLIDEMARK_BACKEND=standin runs the shell on stand-ins that touch no input.
bool standInRequested() {
    const char* backend = std::getenv("GLIDEMARK_BACKEND");
    return backend && std::strcmp(backend, "standin") == 0;
}

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
        return std::make_unique<MacEngineControl>(*mac);
    return std::make_unique<StandInEngine>(platform.inputAccess());
}

WindowContent makeWindowContent(platform::Platform& platform, settings::SettingsManager& settings) {
    WindowContent content = WindowContent::interim();
    auto appInfo = std::make_shared<const BundleAppInfo>();
    platform::Workspace* workspace = &platform.workspace();
    content.about = [] { return static_cast<QWidget*>(new update::AboutView); };
    content.preferences = [&settings, workspace, appInfo] {
        preferences::PreferencesContext context;
        context.settingsManager = &settings;
        context.workspace = workspace;
        context.appInfo = appInfo.get();
        context.generalActions.setLaunchAtLogin = [](bool enabled) { LaunchAtLogin::setEnabled(enabled); };
        context.generalActions.setMenuIconVisible = [](bool visible) {
            if (StatusBarManager* bar = StatusBarManager::shared()) bar->setVisible(visible);
        };
        // Without an update feed the page says where updates come from instead.
        if (update::UpdaterManager::isAvailable())
            context.updatesPage = [] { return static_cast<QWidget*>(new update::UpdatesView); };
        return static_cast<QWidget*>(preferences::createPreferencesTabView(context));
    };
    return content;
}

std::unique_ptr<QObject> watchSession(SessionMonitor& monitor) {
    if (standInRequested()) return nullptr;
    return std::make_unique<SessionWatch>(monitor);
}

}  // namespace gm::app
