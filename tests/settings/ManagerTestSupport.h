#pragma once
// What a settings manager needs around it in tests: memory-backed user
// defaults, a log that can be read back and a clock that never moves.
#include "platform/Log.h"
#include "platform/Services.h"
#include "platform/UserDefaults.h"
#include "settings/SettingsCodec.h"
#include "settings/SettingsManager.h"

namespace gm::settings::test {

// Its wall clock reads 2026-12-06 20:15:00 UTC.
struct FixedClock final : platform::Clock {
    double mediaTime() const override { return 1000.0; }
    double wallTime() const override { return 1'796'588'100.0; }
};

struct ManagerEnvironment {
    platform::MemoryUserDefaults defaults;
    platform::MemoryLogSink sink;
    platform::Logger logger{"com.example.test", "general", &sink};
    FixedClock clock;

    // The record as stored right now (the defaults when there is none).
    GlidemarkSettings stored() const {
        return decode(defaults.data(SettingsManager::kKey).value_or("")).settings.value_or(GlidemarkSettings{});
    }
};

}  // namespace gm::settings::test
