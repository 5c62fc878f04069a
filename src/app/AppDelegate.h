#pragma once
// The program's launch sequence and the rules for when the scroll engine runs.
//
// Start-up, in order: the update controller (made by the caller before the
// delegate, when the build has an update feed); the single-instance rule
// (applicationWillFinishLaunching); the window registry, the HUD and the
// tray icon with its menu, which loads the settings, and the session
// notifications (applicationDidFinishLaunching); half a second later the
// input-access check, which starts the engine or walks the user through
// granting access and polls every two seconds until it arrives.
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

#include "app/HUDManager.h"
#include "app/WindowContent.h"

class QTimer;

namespace gm::platform {
class InputAccess;
class Workspace;
}  // namespace gm::platform
namespace gm::settings {
class SettingsManager;
}
namespace gm::update {
class UpdaterManager;
}

namespace gm::app {

class EngineControl;
class FrontmostAppTracker;
class SessionMonitor;
class SingleInstance;
class StatusBarManager;
class WindowManager;

class AppDelegate : public QObject {
    Q_OBJECT
public:
    struct Services {
        platform::Workspace& workspace;
        platform::InputAccess& inputAccess;
        settings::SettingsManager& settings;
        EngineControl& engine;
        SessionMonitor& session;
        // Null: no single-instance rule (tests that run several delegates).
        SingleInstance* singleInstance = nullptr;
        WindowContent content = WindowContent::interim();
        // Ends the program: QCoreApplication::quit unless set.
        std::function<void()> terminate;
        // The update controller; null when the build has no update feed.
        update::UpdaterManager* updates = nullptr;
    };
    struct Options {
        double permissionCheckDelay = 0.5;     // seconds after launch
        double permissionPollInterval = 2.0;   // seconds
        double hudDuration = 2.0;              // seconds
        double hudSize = 300.0;
        HUDManager::Timings hudTimings;
        // Whether a system tray exists; asked of the desktop unless set.
        std::optional<bool> trayAvailable;
    };

    explicit AppDelegate(Services services, QObject* parent = nullptr);
    AppDelegate(Services services, Options options, QObject* parent = nullptr);
    ~AppDelegate() override;

    // False when this process must end now (another copy runs and was handed
    // the request).
    bool applicationWillFinishLaunching();
    void applicationDidFinishLaunching();
    // A second launch of the running program. Opens the preferences when no
    // window shows and input access is granted. Returns whether the caller
    // should go on with its own handling (only when windows are visible: the
    // single-instance request then brings them forward).
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    // Any of our ordinary windows or dialogs on screen, minimised or not (the
    // HUD and menus aside).
    static bool hasVisibleWindows();
    // What a re-open does when windows are open: each comes forward, restored
    // when minimised, a dialog waiting for an answer in front.
    static void bringWindowsForward();

    // The first check (no timer), or one poll (the poll timer).
    void startAccessibilityPermissionChecker(QTimer* timer);
    void sessionDidActive();
    void sessionDidResign();
    void applicationWillTerminate();

    // The running permission poll, if any.
    QTimer* permissionPollTimer() const { return pollTimer_.data(); }

    WindowManager* windowManager() const { return windows_.get(); }
    HUDManager* hudManager() const { return hud_.get(); }
    StatusBarManager* statusBarManager() const { return statusBar_.get(); }

private:
    void terminate();

    Services services_;
    Options options_;
    std::unique_ptr<WindowManager> windows_;
    std::unique_ptr<HUDManager> hud_;
    std::unique_ptr<FrontmostAppTracker> frontmost_;
    std::unique_ptr<StatusBarManager> statusBar_;
    QPointer<QTimer> pollTimer_;
    bool terminated_ = false;
};

}  // namespace gm::app
