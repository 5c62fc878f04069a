// How quickly repeated ticks grow, measured on the engine's poster.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/Engine.h"
#include "platform/sim/SimDesktop.h"
#include "settings/SettingsManager.h"

namespace gm::testing {
namespace {

using platform::sim::SimDesktop;

TEST(Acceleration, FactorOfASecondTick) {
    // The virtual times of the two ticks (no first tick when NaN), their threshold and limits, the second's factor.
    struct Row { double first, second, delta, firstLimit, limit, factor, tolerance; };
    const double none = std::nan("");
    const Row rows[] = {
        {1.0, 1.02, 100, 3, 3, 2.0833, 1e-4},  // twenty milliseconds apart
        {1.0, 1.02, 100, 1.5, 1.5, 1.5, 0},    // capped at the limit
        {1.0, 1.02, 100, 3, 0.5, 1.0, 0},      // a limit below one switches it off and leaves the clock alone
        {0.5, 0.625, 125, 7, 7, 1.0, 0},       // exactly the threshold apart (0.125 in doubles too): not accelerated
        {2.0, 2.049, 50, 7, 7, 1.1791, 1e-4},  // the default settings at 49 ms
        {2.049, 2.0534, 50, 7, 7, 7.0, 0},     // 4.4 ms: (55/4.4 + 1)/1.8 > 7, so the limit
        {none, 0.02, 50, 7, 7, 2.0833, 1e-4},  // the first tick near start-up, because both clocks start at zero
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << r.first << " then " << r.second << ", limit " << r.limit);
        SimDesktop desktop;
        desktop.simDisplays().setScreen({{0, 0, 1920, 1080}, 1, 60});
        settings::SettingsManager manager(desktop.userDefaults(), desktop.logger(), desktop.clock());
        engine::Engine engine(desktop, manager);
        // A tick at virtual time t, handed straight to the poster.
        auto tickAt = [&](double t, double limit) {
            desktop.runUntil(t);
            engine.poster.schedule(SimDesktop::makeScroll(10), nullptr, 90, 0, 350, r.delta, limit, true);
        };
        if (!std::isnan(r.first)) tickAt(r.first, r.firstLimit);
        tickAt(r.second, r.limit);
        EXPECT_NEAR(engine.poster.acceleration(), r.factor, r.tolerance);
        EXPECT_EQ(engine.poster.lastEventTime(), r.limit < 1 ? r.first : r.second);
    }
}

}  // namespace
}  // namespace gm::testing
