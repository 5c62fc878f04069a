#include "app/GlidemarkApp.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <cstring>
#include <optional>
#include <string>

#include "app/AppDelegate.h"
#include "app/Artwork.h"
#include "app/CommandLine.h"
#include "app/PlatformChoice.h"
#include "app/SessionMonitor.h"
#include "app/SignalWatcher.h"
#include "app/SingleInstance.h"
#include "app/Utils.h"
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
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return true;
    if (qEnvironmentVariable("QT_QPA_PLATFORM").startsWith(QLatin1String("offscreen"))) return true;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 && std::strncmp(argv[i + 1], "offscreen", 9) == 0) return true;
    return false;
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
    QApplication::setApplicationDisplayName(QStringLiteral("Glidemark"));
    QApplication::setDesktopFileName(QStringLiteral("glidemark"));
    QApplication::setWindowIcon(artwork::icon(artwork::kGlidemouse));

    SessionMonitor session;
    SingleInstance instance(SingleInstance::defaultSocketName(), SingleInstance::currentProcess());
    AppDelegate delegate({backend->workspace(), backend->inputAccess(), settings::SettingsManager::shared(), *engine,
                          session, &instance, WindowContent::interim(), {}});
    if (!delegate.applicationWillFinishLaunching()) return 0;
    delegate.applicationDidFinishLaunching();

    SignalWatcher watcher;
    quitOnSignal(watcher);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::applicationWillTerminate);
    return app.exec();
}

}  // namespace gm::app
