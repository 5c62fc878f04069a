#include "app/AppDelegate.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <vector>

#include "app/EngineControl.h"
#include "app/FrontmostAppTracker.h"
#include "app/SessionMonitor.h"
#include "app/SingleInstance.h"
#include "app/StatusBarManager.h"
#include "app/Utils.h"
#include "app/WindowManager.h"
#include "app/update/WindowActivation.h"
#include "platform/Log.h"
#include "platform/Services.h"

namespace gm::app {

namespace {

int milliseconds(double seconds) { return static_cast<int>(std::lround(seconds * 1000.0)); }

}  // namespace

AppDelegate::AppDelegate(Services services, QObject* parent) : AppDelegate(std::move(services), Options(), parent) {}

AppDelegate::AppDelegate(Services services, Options options, QObject* parent)
    : QObject(parent), services_(std::move(services)), options_(std::move(options)) {}

AppDelegate::~AppDelegate() {
    // The tray menu refers to the registry; it goes first.
    statusBar_.reset();
    frontmost_.reset();
    hud_.reset();
    windows_.reset();
}

bool AppDelegate::applicationWillFinishLaunching() {
    SingleInstance* instance = services_.singleInstance;
    if (!instance) return true;
    if (Utils::enforceSingleInstance(true, *instance) == Utils::InstanceDecision::Exit) return false;
    connect(instance, &SingleInstance::reopenRequested, this, [this](const QString& activationToken) {
        update::setPendingActivationToken(activationToken);
        if (applicationShouldHandleReopen(hasVisibleWindows())) bringWindowsForward();
    });
    connect(instance, &SingleInstance::quitRequested, this, [this] {
        platform::log().info("Quit requested by another copy of the program");
        terminate();
    });
    return true;
}

void AppDelegate::applicationDidFinishLaunching() {
    windows_ = std::make_unique<WindowManager>();
    hud_ = std::make_unique<HUDManager>();
    hud_->setTimings(options_.hudTimings);
    frontmost_ = std::make_unique<FrontmostAppTracker>(services_.workspace,
                                                       static_cast<platform::ProcessID>(QApplication::applicationPid()));
    statusBar_ = std::make_unique<StatusBarManager>(AppMenu::Dependencies{
        services_.settings, services_.engine, *frontmost_, *windows_, services_.updates,
        services_.content, [this] { terminate(); }});

    // The program lives in the tray: it opens no window of its own at launch,
    // and closing the last window it opened later must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    connect(&services_.session, &SessionMonitor::sessionDidBecomeActive, this, &AppDelegate::sessionDidActive);
    connect(&services_.session, &SessionMonitor::sessionDidResignActive, this, &AppDelegate::sessionDidResign);

    if (!options_.trayAvailable.value_or(StatusBarManager::trayAvailable())) {
        // Without a tray the icon and its menu cannot be reached; the
        // preferences window is the only way in.
        platform::log().info("No system tray available: opening the preferences window");
        openPreferencesWindow(*windows_, services_.content);
    }

    QTimer::singleShot(milliseconds(options_.permissionCheckDelay), this,
                       [this] { startAccessibilityPermissionChecker(nullptr); });
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
    if (hasVisibleWindows) return true;
    if (services_.inputAccess.isTrusted() && windows_) openPreferencesWindow(*windows_, services_.content);
    return false;
}

namespace {

// Our ordinary windows and dialogs on screen, minimised ones included. An X11
// tray's icon is a window too, but one that bypasses the window manager.
std::vector<QWidget*> openWindows() {
    std::vector<QWidget*> open;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = widget->windowType();
        if (widget->isVisible() && (type == Qt::Window || type == Qt::Dialog) &&
            !widget->windowFlags().testFlag(Qt::BypassWindowManagerHint))
            open.push_back(widget);
    }
    return open;
}

}  // namespace

bool AppDelegate::hasVisibleWindows() { return !openWindows().empty(); }

void AppDelegate::bringWindowsForward() {
    // A dialog waiting for an answer goes last, so that it ends up in front.
    std::vector<QWidget*> open = openWindows();
    const QWidget* waiting = QApplication::activeModalWidget();
    std::stable_partition(open.begin(), open.end(), [waiting](const QWidget* w) { return w != waiting; });
    for (QWidget* window : open) update::bringWindowForward(*window);
}

void AppDelegate::startAccessibilityPermissionChecker(QTimer* timer) {
    platform::InputAccess& access = services_.inputAccess;
    if (!timer) {
        if (access.isTrusted()) {
            if (hud_) hud_->show(QStringLiteral("Glidemark enabled"), std::nullopt, options_.hudDuration, options_.hudSize);
            services_.engine.start();
            return;
        }
        platform::log().info("No permission");
        // The alert is the system's prompt here: only its first button asks for
        // access (and so for an administrator's password). Deny, Escape, and a
        // quit that closes the alert ask for nothing.
        [[maybe_unused]] const bool asked = Utils::showAccessibilityAlert(access);
#ifdef Q_OS_MACOS
        // On macOS the system's own prompt follows whatever the answer: it
        // also lists the program in the Accessibility pane, where the user may
        // grant access by hand later. "Open System Settings" has shown it.
        if (!asked) access.requestAccess();
#endif
        if (pollTimer_) return;
        auto* poll = new QTimer(this);
        poll->setInterval(milliseconds(options_.permissionPollInterval));
        connect(poll, &QTimer::timeout, this, [this, poll] { startAccessibilityPermissionChecker(poll); });
        pollTimer_ = poll;
        poll->start();
        return;
    }

    if (!access.isTrusted()) return;
    timer->stop();
    timer->deleteLater();
    Utils::showPermissionGrantedAlert();
    services_.engine.start();
}

void AppDelegate::sessionDidActive() {
    services_.engine.start();
    platform::log().info("ScrollCore Start: Session Active");
}

void AppDelegate::sessionDidResign() {
    services_.engine.end();
    platform::log().info("ScrollCore End: Session Resign");
}

void AppDelegate::applicationWillTerminate() {
    if (terminated_) return;
    terminated_ = true;
    services_.engine.end();
    platform::log().info("App terminated");
}

void AppDelegate::terminate() {
    if (services_.terminate) {
        services_.terminate();
    } else {
        QCoreApplication::quit();
    }
}

}  // namespace gm::app
