#include "app/GlidemarkApp.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstring>
#include <optional>
#include <string>

#include "app/AppDelegate.h"
#include "app/AppMover.h"
#include "app/Artwork.h"
#include "app/CommandLine.h"
#include "app/PlatformChoice.h"
#include "app/SessionMonitor.h"
#include "app/StatusBarManager.h"
#include "app/SignalWatcher.h"
#include "app/SingleInstance.h"
#include "app/Utils.h"
#include "app/update/UpdaterManager.h"
#include "platform/Log.h"
#include "settings/SettingsManager.h"

namespace gm::app {

namespace {

constexpr int kHeadlessPollMs = 2000;

void describe(QCoreApplication& app) {
    QCoreApplication::setOrganizationName(QStringLiteral("Glidemark"));
    QCoreApplication::setApplicationName(QStringLiteral("Glidemark"));
    QCoreApplication::setApplicationVersion(QStringLiteral(GLIDEMARK_VERSION));
    (void)app;
}

void quitOnSignal(SignalWatcher& watcher) {
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, QCoreApplication::instance(), [](int number) {
        platform::log().info("Terminating on signal " + std::to_string(number));
        QCoreApplication::quit();
    });
}

// An update waiting in the background puts a badge on the tray icon until the
// user attends to it.
void connectUpdates(AppDelegate& delegate, update::UpdaterManager& updates) {
    StatusBarManager* bar = delegate.statusBarManager();
    if (!bar || !bar->statusItem()) return;
    auto show = [bar](const QString& label) {
        bar->statusItem()->setIcon(label.isEmpty() ? artwork::icon(artwork::kMenuMouse) : artwork::badgedMenuIcon());
        bar->statusItem()->setToolTip(label.isEmpty() ? QStringLiteral("Glidemark")
                                                      : QStringLiteral("Glidemark \u2013 an update is available"));
    };
    QObject::connect(&updates, &update::UpdaterManager::badgeLabelChanged, bar, show);
    show(updates.badgeLabel());
}

// No tray, no windows: the engine runs as soon as input access allows it.
int runWithoutDisplay(int argc, char** argv, EngineControl& engine, platform::InputAccess& access) {
    QCoreApplication app(argc, argv);
    describe(app);
    platform::log().info("No display: running the scroll engine without the tray icon and windows");

    SingleInstance instance(SingleInstance::defaultSocketName(), SingleInstance::currentProcess());
    if (Utils::enforceSingleInstance(true, instance) == Utils::InstanceDecision::Exit) return 0;
    QObject::connect(&instance, &SingleInstance::quitRequested, &app, &QCoreApplication::quit);

    SignalWatcher watcher;
    quitOnSignal(watcher);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&engine] {
        engine.end();
        platform::log().info("App terminated");
    });

    QTimer poll;
    poll.setInterval(kHeadlessPollMs);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!access.isTrusted()) return;
        poll.stop();
        engine.start();
    });
    if (access.isTrusted()) {
        engine.start();
    } else {
        platform::log().info("No permission");
        poll.start();
    }
    return app.exec();
}

}  // namespace

bool hasDisplay(int argc, char** argv) {
#ifdef Q_OS_MACOS
    // The window server is always there for a program the user started.
    (void)argc;
    (void)argv;
    return true;
#else
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return true;
    if (qEnvironmentVariable("QT_QPA_PLATFORM").startsWith(QLatin1String("offscreen"))) return true;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 && std::strncmp(argv[i + 1], "offscreen", 9) == 0) return true;
    return false;
#endif
}

int runGlidemark(int argc, char** argv) {
    // --help, --version and a relaunch's wait come before any backend or display.
    if (const std::optional<int> status = handleCommandLine(argc, argv)) return *status;

    std::unique_ptr<platform::Platform> backend = makePlatform();
    platform::select(*backend);
    std::unique_ptr<EngineControl> engine = makeEngine(*backend);

    if (!hasDisplay(argc, argv)) return runWithoutDisplay(argc, argv, *engine, backend->inputAccess());

    QApplication app(argc, argv);
    describe(app);
    // No application display name: Qt would append it to every window title
    // ("Glidemark Preferences — Glidemark"); the name is Glidemark either way.
    QApplication::setDesktopFileName(QStringLiteral("glidemark"));
    QApplication::setWindowIcon(artwork::icon(artwork::kGlidemouse));

    // Before the single-instance rule: a copy already running from the installation is
    // brought forward by the mover, and must not be asked to quit by the rule.
    switch (AppMover::moveToApplicationsFolderIfNecessary()) {
    case AppMover::Outcome::Stay: break;
    case AppMover::Outcome::BroughtForward:  // the installed copy was asked to come forward
    case AppMover::Outcome::Relaunch:        // the new copy waits for this process to end
        return 0;
    case AppMover::Outcome::Terminate:
        // A failed install is no reason to leave the user without smooth scrolling:
        // say so and carry on from where the program is.
        platform::log().error("Glidemark could not be installed; it keeps running from where it is");
        break;
    }

    // The update controller comes first, so it exists before any launch step runs. A build
    // without an update feed has none: nothing would come of a check but an error.
    update::UpdaterManager* updates =
        update::UpdaterManager::isAvailable() ? &update::UpdaterManager::shared() : nullptr;

    SessionMonitor session;
    const std::unique_ptr<QObject> sessionWatch = watchSession(session);
    SingleInstance instance(SingleInstance::defaultSocketName(), SingleInstance::currentProcess());
    settings::SettingsManager& settings = settings::SettingsManager::shared();
    AppDelegate delegate({backend->workspace(), backend->inputAccess(), settings, *engine, session, &instance,
                          makeWindowContent(*backend, settings), {}, updates});
    if (!delegate.applicationWillFinishLaunching()) return 0;
    delegate.applicationDidFinishLaunching();
    if (updates) connectUpdates(delegate, *updates);

    SignalWatcher watcher;
    quitOnSignal(watcher);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::applicationWillTerminate);
    return app.exec();
}

}  // namespace gm::app
