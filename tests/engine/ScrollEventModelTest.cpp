// Reading scroll events into axes, the gesture test with its daemon exemption
// and one-minute application cache, and in-place reversal.
#include <gtest/gtest.h>

#include "AxisFields.h"

#include <cmath>
#include <limits>
#include <tuple>

#include "engine/ScrollEventModel.h"
#include "platform/sim/SimDesktop.h"

namespace gm::engine {
namespace {

using platform::FieldTableEvent;
using platform::sim::SimDesktop;
namespace field = platform::field;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();


// Same value, NaN included.
void expectSame(double expected, double actual, const char* what) {
    EXPECT_TRUE(std::isnan(expected) ? std::isnan(actual) : expected == actual) << what << ": " << actual;
}

TEST(ReadAxis, ClassifiesByPointThenFixedPointThenLineDelta) {
    struct Row { double point, fixedPt; std::int64_t line; bool valid, fixed; double usable; };
    const Row rows[] = {
        {-10, -1.0, -1, true, false, -10},  // an ordinary wheel tick: the point delta wins
        {0, 0.1, 7, true, true, 0.1},       // fixed-point before line delta
        {0, 0, 3, true, true, 3.0},        {0, 0, -4, true, true, -4.0},     {0.5, 0, 0, true, false, 0.5},
        {0, 0, 0, false, false, 0},        {-0.0, -0.0, 0, false, false, 0},  // negative zero is zero
        {kNaN, 2.0, 5, true, false, kNaN},  {0, kNaN, 5, true, true, kNaN},  // NaN counts as a delta
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "point " << r.point << " fixedPt " << r.fixedPt << " line " << r.line);
        for (int axis : {kAxisY, kAxisX}) {
            auto e = axis == kAxisY ? SimDesktop::makeScroll(r.point, 0, r.line, 0, r.fixedPt, 0)
                                    : SimDesktop::makeScroll(0, r.point, 0, r.line, 0, r.fixedPt);
            const axisData d = readAxis(*e, axis);
            EXPECT_EQ(std::tie(d.valid, d.fixed, d.scrollFix), std::tie(r.valid, r.fixed, r.line)) << "axis " << axis;
            expectSame(r.usable, d.usableValue, "usableValue");
            expectSame(r.point, d.scrollPt, "raw point delta");
            expectSame(r.fixedPt, d.scrollFixPt, "raw fixed-point delta");
            // The other axis of the same event is still.
            EXPECT_FALSE(readAxis(*e, axis == kAxisY ? kAxisX : kAxisY).valid);
        }
    }
}

TEST(ReadAxis, ShiftTurnsTheVerticalWheelIntoHorizontalInput) {
    auto e = SimDesktop::makeScroll(-10, 4, -1, 1, -1.0, 1.0);
    e->setFlags(platform::flag::shift | platform::flag::command);

    const axisData y = readAxis(*e, kAxisY);
    EXPECT_EQ(std::tie(y.valid, y.fixed, y.scrollFix, y.scrollPt, y.scrollFixPt, y.usableValue),
              std::make_tuple(false, false, 0, 0.0, 0.0, 0.0));
    // X comes from the vertical fields; the horizontal ones are not looked at.
    const axisData x = readAxis(*e, kAxisX);
    EXPECT_EQ(std::tie(x.valid, x.fixed, x.usableValue, x.scrollFix, x.scrollFixPt),
              std::make_tuple(true, false, -10.0, -1, -1.0));
    // A Shift-held tick with only a horizontal delta reads as no input at all.
    auto horizontalOnly = SimDesktop::makeScroll(0, 4, 0, 1, 0, 1.0);
    horizontalOnly->setFlags(platform::flag::shift);
    EXPECT_FALSE(readAxis(*horizontalOnly, kAxisX).valid || readAxis(*horizontalOnly, kAxisY).valid);
}

TEST(ReverseAxis, WritesTheNegatedReadingIntoTheNamedAxisOnly) {
    struct Row { std::uint64_t flags; int axis; AxisFields y, x; };
    // A reading taken with Shift held goes to the horizontal fields it was not read from.
    for (const Row& r : {Row{0, kAxisY, {-1, -10, -1.0}, {2, 7, 0.5}}, Row{0, kAxisX, {1, 10, 1.0}, {-2, -7, -0.5}},
                         Row{platform::flag::shift, kAxisX, {1, 10, 1.0}, {-1, -10, -1.0}}}) {
        auto e = SimDesktop::makeScroll(10, 7, 1, 2, 1.0, 0.5);
        e->setFlags(r.flags);
        e->setDoubleValue(field::scrollPhase, 2);
        reverseAxis(*e, readAxis(*e, r.axis), r.axis);
        EXPECT_EQ(std::tuple(yFields(*e), xFields(*e)), std::tuple(r.y, r.x)) << r.flags << " axis " << r.axis;
        EXPECT_EQ(e->doubleValue(field::scrollPhase), 2);
    }
}

TEST(ReverseAxis, MostNegativeLineDeltaSaturates) {
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min(), kMax = std::numeric_limits<std::int64_t>::max();
    for (int axis : {kAxisY, kAxisX}) {
        auto e = SimDesktop::makeScroll(0, 0, kMin, kMin);
        const axisData d = readAxis(*e, axis);
        ASSERT_TRUE(d.valid && d.fixed);
        reverseAxis(*e, d, axis);
        EXPECT_EQ(std::get<0>(axis == kAxisY ? yFields(*e) : xFields(*e)), kMax);
    }
    auto e = SimDesktop::makeScroll(0, 0, kMax);
    reverseAxis(*e, readAxis(*e, kAxisY), kAxisY);
    EXPECT_EQ(e->integerValue(field::scrollDeltaAxis1), -kMax);
}

// The gesture test and its cache of the mouse daemon's process.
struct GestureScroll : testing::Test {
    SimDesktop desktop;
    Utils utils{desktop.workspace(), desktop.clock()};

    static constexpr platform::ProcessID kDaemonPid = 4242;

    void launchDaemon() {
        desktop.simWorkspace().launch({kDaemonPid, std::string(Utils::kMouseDaemonBundleId), "daemon", {}, {}});
    }
    static std::shared_ptr<FieldTableEvent> gesture(std::int64_t sourcePid = 777) {
        auto e = SimDesktop::makeScroll(-3);
        e->setDoubleValue(field::scrollPhase, 2);
        e->setIntegerValue(field::sourceProcessID, sourcePid);
        return e;
    }
    int lookups() { return desktop.simWorkspace().bundleLookups(); }
};

TEST_F(GestureScroll, PhaseMomentumOrCountMakesAGesture) {
    launchDaemon();
    // A plain wheel tick is not a gesture, and finding that out asks nothing of the workspace.
    EXPECT_FALSE(utils.isGestureScroll(*SimDesktop::makeScroll(-3, 0, -1, 0, -1.0)));
    EXPECT_EQ(lookups(), 0);
    const std::pair<platform::EventField, double> rows[] = {{field::scrollPhase, 2}, {field::scrollPhase, 128},
        {field::scrollMomentumPhase, 1}, {field::scrollCount, 1}, {field::scrollPhase, kNaN}};
    for (const auto& [id, value] : rows) {
        auto e = SimDesktop::makeScroll(-3);
        e->setDoubleValue(id, value);
        EXPECT_TRUE(utils.isGestureScroll(*e)) << "field " << id << " = " << value;
    }
    EXPECT_EQ(lookups(), 1) << "the daemon is looked for once, then answered from the cache";
}

// The daemon's process is looked up at most once a minute, whether it was found or not.
TEST_F(GestureScroll, TheDaemonsEventsAreNotGesturesAndItsLookupIsKeptSixtySeconds) {
    struct Row { double t; bool running; std::int64_t sourcePid; bool isGesture; int lookups; };
    const Row rows[] = {
        {5.0, false, kDaemonPid, true, 1}, {5.0, false, 0, true, 1},  // without the daemon every gesture stays one
        {65.0, true, kDaemonPid, true, 1},  // launched, but still remembered as absent
        {65.25, true, kDaemonPid, false, 2}, {65.25, true, kDaemonPid + 1, true, 2},
        // Compared as 64-bit numbers: a source id that only truncates to the daemon's pid is someone else.
        {65.25, true, (std::int64_t{1} << 32) + kDaemonPid, true, 2},
        {125.25, false, kDaemonPid, false, 2},  // quit exactly 60 s after it was found: still cached
        {125.5, false, kDaemonPid, true, 3}};
    bool running = false;
    for (const Row& r : rows) {
        if (r.running != running) r.running ? launchDaemon() : desktop.simWorkspace().quit(kDaemonPid);
        running = r.running;
        desktop.runUntil(r.t);
        EXPECT_EQ(utils.isGestureScroll(*gesture(r.sourcePid)), r.isGesture) << "at " << r.t << " from " << r.sourcePid;
        EXPECT_EQ(lookups(), r.lookups) << "at " << r.t;
    }
    EXPECT_EQ(utils.runningApplication(Utils::kMouseDaemonBundleId), nullptr);
    EXPECT_EQ(lookups(), 3);
}

}  // namespace
}  // namespace gm::engine
