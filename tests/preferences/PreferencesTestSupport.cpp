#include "preferences/PreferencesTestSupport.h"

#include <QCoreApplication>
#include <QStyleFactory>

// Caches that system libraries loaded by Qt (fonts, the desktop bus) keep
// until exit by design; leaks of ours are still reported.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libdbus-1.so\n"; }

namespace gm::testing {

QApplication& qtApp() {
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "preferences_tests";
        static char* argv[] = {name, nullptr};
        auto* created = new QApplication(argc, argv);
        // One style everywhere, so that sizes do not depend on the desktop the tests run on.
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        return created;
    }();
    return *app;
}

SettingsFixture::SettingsFixture(const settings::GlidemarkSettings& initial) {
    if (!QCoreApplication::instance()) qtApp();
    if (initial != settings::GlidemarkSettings{})
        defaults.setData(settings::SettingsManager::kKey, *settings::encode(initial));
    manager = std::make_unique<settings::SettingsManager>(defaults, logger, clock);
}

void processEvents() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace gm::testing
