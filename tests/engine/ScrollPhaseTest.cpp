// The phase machine: which kicks are sampled, the debounced move to Momentum
// in virtual time, the two transition mappings and the phase-field values.
#include <gtest/gtest.h>

#include "engine/ScrollPhase.h"
#include "platform/sim/SimDesktop.h"

namespace gm::engine {
namespace {

using platform::sim::SimDesktop;

struct ScrollPhaseTest : testing::Test {
    SimDesktop desktop;
    ScrollPhase machine{desktop.mainQueue(), desktop.clock(), desktop.logger()};

    void kickAt(double t) { desktop.runUntil(t), machine.kickIn(); }
};

TEST_F(ScrollPhaseTest, OnlyEveryThirdKickMovesTheDeadline) {
    // Kicks 1 and 4 are sampled; 2, 3 and 5 are not.
    EXPECT_EQ(machine.phase(), Phase::Idle);
    kickAt(0.0);
    EXPECT_EQ(machine.phase(), Phase::Contact);
    for (double t : {0.125, 0.25}) kickAt(t);
    EXPECT_EQ(desktop.scheduler().pendingCount(), 1u) << "kicks 2 and 3 queue nothing";
    EXPECT_EQ(machine.phase(), Phase::Contact);
    desktop.runUntil(0.3);
    EXPECT_EQ(machine.phase(), Phase::Momentum) << "the first kick's action, 300 ms on; unsampled kicks do not postpone it";
    EXPECT_EQ(desktop.scheduler().pendingCount(), 0u);

    // After the action the very next kick is sampled again.
    kickAt(0.5);
    EXPECT_EQ(machine.phase(), Phase::Contact);
    // The kick at 0.875 is sampled: the 0.5 kick's check now finds a later call.
    for (double t : {0.625, 0.75, 0.875, 0.9375}) kickAt(t);
    desktop.runUntil(0.5 + 0.3);
    EXPECT_EQ(machine.phase(), Phase::Contact);
    desktop.runUntil(0.875 + 0.3 - 0.001);
    EXPECT_EQ(machine.phase(), Phase::Contact);
    desktop.runUntil(0.875 + 0.3);
    EXPECT_EQ(machine.phase(), Phase::Momentum);
}

// What a kick and a post make of each phase, and the values of the two phase fields in it.
TEST_F(ScrollPhaseTest, KickAndPostMappingsAndFieldValues) {
    struct Row { Phase from, afterKick, afterPost; double scroll, momentum; };
    const Row rows[] = {
        {Phase::Idle, Phase::Contact, Phase::Idle, 0, 0},          {Phase::Contact, Phase::Contact, Phase::Tracing, 128, 0},
        {Phase::Tracing, Phase::Tracing, Phase::Tracing, 2, 0},    {Phase::Momentum, Phase::Contact, Phase::Momentum, 0, 2},
        {Phase::PauseAuto, Phase::Contact, Phase::Idle, 0, 3},     {Phase::PauseManual, Phase::Contact, Phase::Idle, 4, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(toString(r.from));
        EXPECT_EQ(ScrollPhase::kickInMapping(r.from), r.afterKick);
        EXPECT_EQ(ScrollPhase::transformMapping(r.from), r.afterPost);
        EXPECT_EQ(phaseValue(r.from, PhaseItem::Scroll), r.scroll);
        EXPECT_EQ(phaseValue(r.from, PhaseItem::Momentum), r.momentum);
        machine.setPhase(r.from);
        machine.kickIn();
        EXPECT_EQ(machine.phase(), r.afterKick);
        machine.setPhase(r.from);
        machine.transformOnPost();
        EXPECT_EQ(machine.phase(), r.afterPost);
    }
}

TEST(Debounce, RunsOnceAnIntervalAfterTheLastCallOfABurst) {
    SimDesktop desktop;
    std::vector<double> runs;
    auto debounced = debounce(0.5, desktop.mainQueue(), desktop.clock(), [&] { runs.push_back(desktop.now()); });
    for (double t : {0.0, 0.25, 0.375}) desktop.runUntil(t), debounced();
    desktop.runUntil(2.0);
    desktop.runUntil(3.0);
    debounced();
    desktop.runUntil(4.0);
    EXPECT_EQ(runs, (std::vector<double>{0.875, 3.5}));
}

}  // namespace
}  // namespace gm::engine
