// How quickly repeated ticks grow, measured on the engine's poster.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/Engine.h"
#include "platform/sim/SimDesktop.h"
#include "settings/SettingsManager.h"

namespace gm::testing {
namespace {

using platform::sim::SimDesktop;

class Acceleration : public ::testing::Test {
protected:
    Acceleration() {
        desktop.simDisplays().setScreen({{0, 0, 1920, 1080}, 1, 60});
        settings = std::make_unique<settings::SettingsManager>(desktop.userDefaults(), desktop.logger(), desktop.clock());
        engine = std::make_unique<engine::Engine>(desktop, *settings);
    }
    // A tick at virtual time t, handed straight to the poster; returns the factor it got.
    double tickAt(double t, double accelerationDelta, double accelerationLimit) {
        desktop.runUntil(t);
        auto event = SimDesktop::makeScroll(10);
        engine->poster.schedule(event, nullptr, 90, 0, 350, accelerationDelta, accelerationLimit, true);
        return engine->poster.acceleration();
    }

    SimDesktop desktop;
    std::unique_ptr<settings::SettingsManager> settings;
    std::unique_ptr<engine::Engine> engine;
};

TEST_F(Acceleration, TicksTwentyMillisecondsApart) {
    tickAt(1.0, 100, 3);
    EXPECT_NEAR(tickAt(1.02, 100, 3), 2.0833, 1e-4);
}

TEST_F(Acceleration, IsCappedAtTheLimit) {
    tickAt(1.0, 100, 1.5);
    EXPECT_EQ(tickAt(1.02, 100, 1.5), 1.5);
}

TEST_F(Acceleration, LimitBelowOneSwitchesItOffAndLeavesTheClockAlone) {
    tickAt(1.0, 100, 3);
    EXPECT_EQ(tickAt(1.02, 100, 0.5), 1.0);
    EXPECT_EQ(engine->poster.lastEventTime(), 1.0);
}

TEST_F(Acceleration, TicksExactlyTheThresholdApartAreNotAccelerated) {
    tickAt(0.5, 125, 7);  // 0.625 - 0.5 is exactly 0.125
    EXPECT_EQ(tickAt(0.625, 125, 7), 1.0);
}

TEST_F(Acceleration, DefaultSettingsAt49MillisecondsAndAtTheLimit) {
    tickAt(2.0, 50, 7);
    EXPECT_NEAR(tickAt(2.049, 50, 7), 1.1791, 1e-4);
    EXPECT_EQ(tickAt(2.0534, 50, 7), 7.0);  // 4.4 ms: (55/4.4 + 1)/1.8 > 7
}

TEST_F(Acceleration, FirstTickNearStartUpIsAcceleratedBecauseBothClocksStartAtZero) {
    EXPECT_NEAR(tickAt(0.02, 50, 7), 2.0833, 1e-4);
}

}  // namespace
}  // namespace gm::testing
