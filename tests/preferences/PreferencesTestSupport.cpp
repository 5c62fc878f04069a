#include "preferences/PreferencesTestSupport.h"

#include <QCoreApplication>

// Caches that system libraries loaded by Qt (fonts, the desktop bus) keep
// until exit by design; leaks of ours are still reported.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libdbus-1.so\n"; }

namespace gm::testing {

SettingsFixture::SettingsFixture(const settings::GlidemarkSettings& initial) {
    if (initial != settings::GlidemarkSettings{})
        defaults.setData(settings::SettingsManager::kKey, *settings::encode(initial));
    manager = std::make_unique<settings::SettingsManager>(defaults, logger, clock);
}

void processEvents() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace gm::testing
