// How one scroll event is judged (every row of the decision table, the
// quantisation rule, reversal written into the event), how exceptions shape
// the effective values, and the modifier hotkeys.
#include <gtest/gtest.h>

#include "AxisFields.h"

#include <limits>
#include <memory>
#include <tuple>

#include "engine/ScrollDecision.h"
#include "platform/sim/SimDesktop.h"

namespace gm::engine {
namespace {

using platform::FieldTableEvent;
using platform::sim::SimDesktop;
using settings::ExceptionalApplication;
using settings::ExceptionRef;
using settings::GlidemarkSettings;
using settings::ScrollAdvanced;
using settings::ScrollBase;
namespace field = platform::field;
namespace flag = platform::flag;


// A wheel tick as the system sends it: line, point and fixed-point deltas together.
const AxisFields kTickY{-1, -3.0, -1.0};
const AxisFields kTickX{2, 5.0, 2.0};
const AxisFields kStill{0, 0.0, 0.0};
AxisFields negated(const AxisFields& f) { return {-std::get<0>(f), -std::get<1>(f), -std::get<2>(f)}; }

std::shared_ptr<FieldTableEvent> tick(bool yValid, bool xValid) {
    const AxisFields y = yValid ? kTickY : kStill, x = xValid ? kTickX : kStill;
    return SimDesktop::makeScroll(std::get<1>(y), std::get<1>(x), std::get<0>(y), std::get<0>(x), std::get<2>(y),
                                  std::get<2>(x));
}

Outcome judge(FieldTableEvent& e, bool smooth, bool hSmooth, bool reverse) {
    const EffectiveValues v{.smooth = smooth, .step = 40, .horizontalSmooth = hSmooth, .reverse = reverse, .exception = {}};
    return decide(e, readAxis(e, kAxisY), readAxis(e, kAxisX), v);
}

TEST(Decide, EveryRowOfTheTable) {
    // smooth, Y valid, X valid, horizontalSmooth, reverse | swallowed, scheduled, the distances scheduled,
    // whether the event's Y and X fields were negated
    struct Row { bool smooth, yValid, xValid, hSmooth, reverse, swallow, schedule; double y, x; bool yFlipped, xFlipped; };
    const Row rows[] = {
        // smoothing off: always let through; X reversed only with horizontal smoothing on
        {0, 1, 1, 1, 1, 0, 0, 0, 0, 1, 1}, {0, 1, 1, 0, 1, 0, 0, 0, 0, 1, 0}, {0, 0, 1, 1, 1, 0, 0, 0, 0, 0, 1},
        {0, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
        // Y only: one step, whatever horizontal smoothing says
        {1, 1, 0, 0, 0, 1, 1, -40, 0, 0, 0}, {1, 1, 0, 1, 1, 1, 1, 40, 0, 1, 0},
        // both axes, horizontal smoothing on
        {1, 1, 1, 1, 0, 1, 1, -40, 40, 0, 0}, {1, 1, 1, 1, 1, 1, 1, 40, -40, 1, 1},
        // both axes, horizontal smoothing off: let through as it is (Y reversed when asked), nothing scheduled
        {1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 0, 1, 0, 0, 0, 0, 1, 0},
        // X only
        {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0}, {1, 0, 1, 1, 0, 1, 1, 0, 40, 0, 0},
        {1, 0, 1, 1, 1, 1, 1, 0, -40, 0, 1},
        // no axis: let through, yet a (0, 0) tick is scheduled
        {1, 0, 0, 1, 1, 0, 1, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &r - rows);
        auto e = tick(r.yValid, r.xValid);
        const Outcome o = judge(*e, r.smooth, r.hSmooth, r.reverse);
        EXPECT_EQ(std::tie(o.returnEvent, o.schedule, o.reverseY, o.reverseX),
                  std::tuple(!r.swallow, r.schedule, r.yFlipped, r.xFlipped));
        if (r.schedule) {
            EXPECT_EQ(std::tie(o.y, o.x), std::tie(r.y, r.x));
        }
        const AxisFields y = r.yValid ? kTickY : kStill, x = r.xValid ? kTickX : kStill;
        EXPECT_EQ(yFields(*e), r.yFlipped ? negated(y) : y);
        EXPECT_EQ(xFields(*e), r.xFlipped ? negated(x) : x);
    }
}

TEST(Decide, PointDeltasMoveOneStepAndFixedDeltasKeepTheirSize) {
    struct Row { double pointY, fixedY; std::int64_t lineY; double pointX; std::int64_t lineX; bool reverse; double y, x; };
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    const Row rows[] = {
        {0.25, 0, 0, 0, 0, false, 40, 0},      // a tiny point delta is still a whole step
        {-250, 0, 0, 0, 0, false, -40, 0},     // and a large one only one
        {0, 0, 3, 0, 0, false, 3, 0},          // line delta keeps its size
        {0, 0, 3, 0, 0, true, -3, 0},          {0, 0.1, 0, 0, 0, false, 0.1, 0},  // so does a fixed-point delta
        {-3, 0, 0, 0, -2, false, -40, -2},     {0, 0, 2, 7, 0, true, -2, -40},  // each axis on its own reading
        {kNaN, 0, 0, 0, 0, false, -40, 0},     // not above zero: minus one step, never NaN
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &r - rows);
        auto e = SimDesktop::makeScroll(r.pointY, r.pointX, r.lineY, r.lineX, r.fixedY, 0);
        const Outcome o = judge(*e, true, true, r.reverse);
        EXPECT_EQ(std::make_tuple(o.schedule, o.returnEvent, o.y, o.x), std::make_tuple(true, false, r.y, r.x));
    }
}

ExceptionRef exception(const std::string& bundleId, bool smooth, bool inherit, double step = 40) {
    // The opposite of every global default: none of these may leak into the result.
    const ScrollAdvanced own{
        .dash = 58, .block = {56}, .step = step, .duration = 200, .accelerationDelta = 30, .accelerationLimit = 3};
    return std::make_shared<ExceptionalApplication>(bundleId, ScrollBase{smooth, false, true, false}, own, inherit);
}

TEST(MatchException, FirstExactMatchInListOrder) {
    GlidemarkSettings s;
    const ExceptionRef first = exception("com.example.A", true, false, 40);
    s.appSettings.exceptionalApplication = {exception("com.example.B", true, false), first,
                                            exception("com.example.A", false, false, 50)};
    const std::string a = "com.example.A";
    EXPECT_EQ(matchException(s, &a), first);
    for (const std::string other : {"com.example.a", "com.example.", "com.example.AB", ""})
        EXPECT_EQ(matchException(s, &other), nullptr) << other;
    EXPECT_EQ(matchException(s, nullptr), nullptr);
}

TEST(EffectiveValues, SmoothnessAndWhenLaunchpadIsAsked) {
    // exception: 0 none, 1 smoothing on, 2 smoothing off
    struct Row { bool global; int exception; bool block, launchpad, smooth, asked; };
    const Row rows[] = {
        {true, 0, false, false, true, true},  {true, 0, false, true, false, true},
        {true, 0, true, false, false, false}, {false, 0, false, true, false, false},
        {true, 1, false, false, true, true},  {true, 1, false, true, false, true},
        {true, 2, false, false, false, false}, {false, 1, false, false, false, false},
        {true, 1, true, false, false, false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &r - rows);
        GlidemarkSettings s;
        s.scrollBase.smooth = r.global;
        const ExceptionRef e = r.exception == 0 ? nullptr : exception("com.example.A", r.exception == 1, true);
        int asked = 0;
        const EffectiveValues v = effectiveValues(s, e, r.block, [&] { return ++asked, r.launchpad; });
        EXPECT_EQ(std::tie(v.smooth, v.exception), std::tie(r.smooth, e));
        EXPECT_EQ(asked, r.asked ? 1 : 0);
    }
}

TEST(EffectiveValues, InheritChoosesTheNumbersAndTheSwitchesStayGlobal) {
    GlidemarkSettings s;
    for (bool inherit : {true, false}) {
        SCOPED_TRACE(inherit ? "inherit" : "own numbers");
        const EffectiveValues v =
            effectiveValues(s, exception("com.example.A", true, inherit), false, [] { return false; });
        EXPECT_EQ(std::tie(v.step, v.duration, v.accelerationDelta, v.accelerationLimit),
                  inherit ? std::tuple(90.0, 350.0, 50.0, 7.0) : std::tuple(40.0, 200.0, 30.0, 3.0));
        EXPECT_EQ(std::tie(v.smooth, v.horizontalSmooth, v.reverse, v.animationEasing), std::tuple(true, true, false, true));
    }
}

TEST(ModifierChange, KeyGroupsAndHotkeys) {
    GlidemarkSettings s;
    // Codes of either hand name the whole group.
    s.scrollAdvanced.block = {54, 58};
    s.scrollAdvanced.dash = 62;
    s.scrollAdvanced.toggle = 58;  // not consulted: the toggle key is always Shift
    const ModifierState idle{}, blocked{false, 1.0, false, true}, dashing{true, 5.0, false, false},
        toggled{false, 1.0, true, false}, all{true, 5.0, true, true};
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    struct Row { std::int64_t key; std::uint64_t flags; ModifierState before, after; bool stop; };
    const Row rows[] = {
        {55, flag::command, idle, blocked, true},
        {54, flag::command, idle, blocked, true},  // right Command acts as left
        {54, 0, blocked, idle, false},              // release clears, no stop
        {55, flag::command, blocked, blocked, true},  // one of two Command keys released: still down
        {61, flag::alternate, idle, blocked, true},   {61, 0, blocked, idle, false},
        {58, flag::command, blocked, idle, false},  // only the group's own flag counts
        {59, flag::control, idle, dashing, false},    {62, flag::control, idle, dashing, false},
        {62, 0, dashing, idle, false},                {56, flag::shift, idle, toggled, true},
        {60, flag::shift, idle, toggled, true},       {60, 0, toggled, idle, true},  // either Shift, press or release, stops
        {56, 0, toggled, idle, true},
        // keys outside the groups change nothing
        {57, ~std::uint64_t{0}, all, all, false},     {57, 0, all, all, false},  {53, 0, all, all, false},
        {63, 0, all, all, false},  {0, 0, all, all, false},  {-1, 0, all, all, false},  {65536 + 55, 0, all, all, false},
        {kMin, 0, all, all, false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "key " << r.key << " flags " << r.flags);
        ModifierState state = r.before;
        EXPECT_EQ(modifierChange(r.key, r.flags, s, state), r.stop);
        EXPECT_EQ(std::tie(state.dashScroll, state.dashAmplification, state.toggleScroll, state.blockSmooth),
                  std::tie(r.after.dashScroll, r.after.dashAmplification, r.after.toggleScroll, r.after.blockSmooth));
    }
}

TEST(ModifierChange, SettingsCodesOutsideSixteenBitsNeverMatch) {
    using L = std::numeric_limits<std::int64_t>;
    for (const std::int64_t bad : {65536 + 55L, 65536 + 59L, -1L, -65536 + 58L, L::min(), L::max()}) {
        GlidemarkSettings s;
        s.scrollAdvanced.block = {bad};
        s.scrollAdvanced.dash = bad;
        for (std::int64_t key : {54, 55, 58, 59, 61, 62}) {
            ModifierState state;
            EXPECT_FALSE(modifierChange(key, ~std::uint64_t{0}, s, state)) << key << " against " << bad;
            EXPECT_EQ(std::tie(state.blockSmooth, state.dashScroll, state.dashAmplification), std::tuple(false, false, 1.0));
        }
    }
}

}  // namespace
}  // namespace gm::engine
