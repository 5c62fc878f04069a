// The animation as the applications see it: what the engine posts, frame by
// frame, and how quickly repeated ticks grow.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "ReplayHarness.h"
#include "engine/Engine.h"
#include "platform/sim/SimDesktop.h"
#include "settings/SettingsManager.h"

namespace gm::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Each;
using ::testing::ElementsAreArray;

TEST(Animation, LoneTickFollowsTheEasedCurveFrameByFrame) {
    auto r = replayTrace({kScreen60, tick(0, +1)}, sixtyPoints(true));
    ASSERT_THAT(r.posted(), ElementsAre(2, 5, 8, 9, 9, 7, 6, 4, 4, 2, 2));
    // The twelfth frame finishes the fiber and posts nothing: a lone tick travels 58 of its 60 points.
    EXPECT_EQ(std::tuple(r.lines.front()["kind"], r.ofKind("post").back()["t"].get<double>()), std::tuple("drop", 11.0 / 60));
    // Posted events are continuous (88), with no fixed-point delta and the incoming event's line delta.
    for (const auto& post : r.ofKind("post"))
        EXPECT_EQ(std::tuple(post["fields"]["88"], post["fields"]["93"], post["fields"]["11"]), std::tuple(1.0, 0.0, 1));
    const auto line = nlohmann::ordered_json::parse(r.raw[1]);  // the first post, keys in printed order
    std::vector<std::string> top, keys;
    for (const auto& [k, v] : line.items()) top.push_back(k);
    for (const auto& [k, v] : line["fields"].items()) keys.push_back(k);
    EXPECT_THAT(top, ElementsAre("t", "kind", "fields"));
    EXPECT_THAT(keys, ElementsAre("11", "12", "88", "93", "94", "96", "97", "99", "100", "123"));
    EXPECT_TRUE(line["fields"]["11"].is_number_integer() && line["fields"]["12"].is_number_integer());
}

TEST(Animation, WithoutEasingALoneTickMovesEvenlyAndOverlappingTicksAddUp) {
    auto one = replayTrace({kScreen60, tick(0, +1)}, sixtyPoints(false));
    EXPECT_THAT(one.posted(), ElementsAreArray(std::vector<double>(11, 5.0)));
    // Two ticks one frame apart: while both run, each frame carries both fibers' increments.
    auto two = replayTrace({kScreen60, tick(0, +1), tick(1.0 / 60, +1)}, sixtyPoints(false));
    ASSERT_GE(two.posted().size(), 5u);
    EXPECT_EQ(std::tuple(two.posted()[0], two.posted()[1], two.posted()[4]), std::tuple(5.0, 10.0, 10.0));
    const auto sum = [](const std::vector<double>& v) { return std::accumulate(v.begin(), v.end(), 0.0); };
    // The first fiber's final increment lands while the second still runs, so more than twice one lone tick.
    EXPECT_GT(sum(two.posted()), 2 * sum(one.posted()));
}

TEST(Animation, ReversalEndsTheAnimationAndScrollsNothing) {
    auto r = replayTrace({kScreen60, tick(0, +1), tick(0.05, -1), tick(1, -1)}, sixtyPoints(false));
    std::vector<double> before, after;
    for (const auto& p : r.ofKind("post")) (p["t"].get<double>() < 1 ? before : after).push_back(p["fields"]["96"]);
    // The reversing tick at 0.05 lands with the frame due then: that frame still carries the
    // old fiber's step (the reset is queued behind it); nothing moves after it.
    EXPECT_THAT(before, ElementsAre(5, 5, 5));
    // The next tick in the new direction animates normally (1.2 - 1.0 falls a hair short of
    // 0.2 in doubles, so its last frame before finishing posts too).
    EXPECT_THAT(after, Each(-5.0));
    EXPECT_GE(after.size(), 11u);
}

TEST(Animation, SwitchingBetweenVerticalAndHorizontalIsAReversal) {
    auto r = replayTrace({kScreen60, tick(0, +1),
                          R"({"t":0.05,"kind":"scroll","fields":{"12":1,"94":1,"97":10},"location":[100,100]})"},
                         sixtyPoints(false));
    EXPECT_EQ(r.posted().size(), 3u);
    EXPECT_THAT(r.posted("97"), ElementsAre(0, 0, 0));
}

// Measured on the engine's poster.
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
        platform::sim::SimDesktop desktop;
        desktop.simDisplays().setScreen({{0, 0, 1920, 1080}, 1, 60});
        settings::SettingsManager manager(desktop.userDefaults(), desktop.logger(), desktop.clock());
        engine::Engine engine(desktop, manager);
        // A tick at virtual time t, handed straight to the poster.
        auto tickAt = [&](double t, double limit) {
            desktop.runUntil(t);
            engine.poster.schedule(platform::sim::SimDesktop::makeScroll(10), nullptr, 90, 0, 350, r.delta, limit, true);
        };
        if (!std::isnan(r.first)) tickAt(r.first, r.firstLimit);
        tickAt(r.second, r.limit);
        EXPECT_NEAR(engine.poster.acceleration(), r.factor, r.tolerance);
        EXPECT_EQ(engine.poster.lastEventTime(), r.limit < 1 ? r.first : r.second);
    }
}

}  // namespace
}  // namespace gm::testing
