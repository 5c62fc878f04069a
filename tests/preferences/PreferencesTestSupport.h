#pragma once
// An in-memory settings manager for the preferences tests.
#include <memory>

#include "settings/ManagerTestSupport.h"

namespace gm::testing {

// A settings manager over memory-backed user defaults that hold `initial`, if
// it is not the defaults.
struct SettingsFixture : settings::test::ManagerEnvironment {
    explicit SettingsFixture(const settings::GlidemarkSettings& initial = {});

    int writes() const { return defaults.writeCount(); }

    std::unique_ptr<settings::SettingsManager> manager;
};

// Lets queued calls run.
void processEvents();

}  // namespace gm::testing
