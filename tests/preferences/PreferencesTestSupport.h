#pragma once
// An in-memory settings manager for the preferences tests, and a QApplication
// that lives for the whole run.
#include <QApplication>
#include <memory>

#include "settings/ManagerTestSupport.h"
#include "settings/SettingsCodec.h"
#include "settings/SettingsManager.h"

namespace gm::testing {

// Creates the application object on first use (offscreen unless a platform is set).
QApplication& qtApp();

// A settings manager over memory-backed user defaults that hold `initial`, if
// it is not the defaults. Widgets need the application object, so it makes it.
struct SettingsFixture : settings::test::ManagerEnvironment {
    explicit SettingsFixture(const settings::GlidemarkSettings& initial = {});

    // The record as stored right now (decoded from the user defaults).
    settings::GlidemarkSettings stored() const {
        const auto bytes = defaults.data(settings::SettingsManager::kKey).value_or("");
        return settings::decode(bytes).settings.value_or(settings::GlidemarkSettings{});
    }
    int writes() const { return defaults.writeCount(); }

    std::unique_ptr<settings::SettingsManager> manager;
};

// Lets queued calls run.
void processEvents();

}  // namespace gm::testing
