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
    if (std::isnan(expected)) EXPECT_TRUE(std::isnan(actual)) << what;
    else EXPECT_EQ(expected, actual) << what;
}

TEST(ReadAxis, ClassifiesByPointThenFixedPointThenLineDelta) {
    struct Row {
        double point, fixedPt;
        std::int64_t line;
        bool valid, fixed;
        double usable;
    };
    const Row rows[] = {
        {-10, -1.0, -1, true, false, -10},  // an ordinary wheel tick: the point delta wins
        {0, 0.1, 7, true, true, 0.1},       // fixed-point before line delta
        {0, 0, 3, true, true, 3.0},
        {0, 0, -4, true, true, -4.0},
        {0.5, 0, 0, true, false, 0.5},
        {0, 0, 0, false, false, 0},
        {-0.0, -0.0, 0, false, false, 0},   // negative zero is zero
        {kNaN, 2.0, 5, true, false, kNaN},  // NaN counts as a delta
        {0, kNaN, 5, true, true, kNaN},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "point " << r.point << " fixedPt " << r.fixedPt << " line " << r.line);
        for (int axis : {kAxisY, kAxisX}) {
            auto e = axis == kAxisY ? SimDesktop::makeScroll(r.point, 0, r.line, 0, r.fixedPt, 0)
                                    : SimDesktop::makeScroll(0, r.point, 0, r.line, 0, r.fixedPt);
            const axisData d = readAxis(*e, axis);
            EXPECT_EQ(d.valid, r.valid) << "axis " << axis;
            EXPECT_EQ(d.fixed, r.fixed) << "axis " << axis;
            expectSame(r.usable, d.usableValue, "usableValue");
            expectSame(r.point, d.scrollPt, "raw point delta");
            expectSame(r.fixedPt, d.scrollFixPt, "raw fixed-point delta");
            EXPECT_EQ(d.scrollFix, r.line) << "raw line delta";
            // The other axis of the same event is still.
            EXPECT_FALSE(readAxis(*e, axis == kAxisY ? kAxisX : kAxisY).valid);
        }
    }
}

TEST(ReadAxis, ShiftTurnsTheVerticalWheelIntoHorizontalInput) {
    auto e = SimDesktop::makeScroll(-10, 4, -1, 1, -1.0, 1.0);
    e->setFlags(platform::flag::shift | platform::flag::command);

    const axisData y = readAxis(*e, kAxisY);
    EXPECT_FALSE(y.valid || y.fixed);
    EXPECT_EQ(std::tie(y.scrollFix, y.scrollPt, y.scrollFixPt, y.usableValue), std::make_tuple(0, 0.0, 0.0, 0.0));

    // X comes from the vertical fields; the horizontal ones are not looked at.
    const axisData x = readAxis(*e, kAxisX);
    EXPECT_TRUE(x.valid);
    EXPECT_FALSE(x.fixed);
    EXPECT_EQ(x.usableValue, -10);
    EXPECT_EQ(x.scrollFix, -1);
    EXPECT_EQ(x.scrollFixPt, -1.0);

    // A Shift-held tick with only a horizontal delta reads as no input at all.
    auto horizontalOnly = SimDesktop::makeScroll(0, 4, 0, 1, 0, 1.0);
    horizontalOnly->setFlags(platform::flag::shift);
    EXPECT_FALSE(readAxis(*horizontalOnly, kAxisX).valid);
    EXPECT_FALSE(readAxis(*horizontalOnly, kAxisY).valid);
}

TEST(ReverseAxis, WritesTheNegatedReadingIntoTheNamedAxisOnly) {
    auto e = SimDesktop::makeScroll(10, 7, 1, 2, 1.0, 0.5);
    e->setDoubleValue(field::scrollPhase, 2);
    const axisData y = readAxis(*e, kAxisY);
    reverseAxis(*e, y, kAxisY);
    EXPECT_EQ(yFields(*e), AxisFields(-1, -10, -1.0));
    EXPECT_EQ(xFields(*e), AxisFields(2, 7, 0.5));
    EXPECT_EQ(e->doubleValue(field::scrollPhase), 2);

    auto f = SimDesktop::makeScroll(10, 7, 1, 2, 1.0, 0.5);
    reverseAxis(*f, readAxis(*f, kAxisX), kAxisX);
    EXPECT_EQ(yFields(*f), AxisFields(1, 10, 1.0));
    EXPECT_EQ(xFields(*f), AxisFields(-2, -7, -0.5));

    // A reading taken with Shift held goes to the horizontal fields it was not read from.
    auto g = SimDesktop::makeScroll(-10, 0, -1, 0, -1.0, 0);
    g->setFlags(platform::flag::shift);
    reverseAxis(*g, readAxis(*g, kAxisX), kAxisX);
    EXPECT_EQ(xFields(*g), AxisFields(1, 10, 1.0));
    EXPECT_EQ(yFields(*g), AxisFields(-1, -10, -1.0));
}

TEST(ReverseAxis, MostNegativeLineDeltaSaturates) {
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
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
class GestureScroll : public testing::Test {
protected:
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
    const std::pair<platform::EventField, double> rows[] = {
        {field::scrollPhase, 2},   {field::scrollPhase, 128}, {field::scrollMomentumPhase, 1},
        {field::scrollCount, 1},   {field::scrollPhase, kNaN},
    };
    for (const auto& [id, value] : rows) {
        auto e = SimDesktop::makeScroll(-3);
        e->setDoubleValue(id, value);
        EXPECT_TRUE(utils.isGestureScroll(*e)) << "field " << id << " = " << value;
    }
    EXPECT_EQ(lookups(), 1) << "the daemon is looked for once, then answered from the cache";
}

TEST_F(GestureScroll, EventsPostedByTheDaemonAreNotGestures) {
    launchDaemon();
    EXPECT_FALSE(utils.isGestureScroll(*gesture(kDaemonPid)));
    EXPECT_TRUE(utils.isGestureScroll(*gesture(kDaemonPid + 1)));
    // Compared as 64-bit numbers: a source id that only truncates to the daemon's pid is someone else.
    EXPECT_TRUE(utils.isGestureScroll(*gesture((std::int64_t{1} << 32) + kDaemonPid)));
}

TEST_F(GestureScroll, AFoundDaemonIsRememberedForSixtySeconds) {
    launchDaemon();
    EXPECT_EQ(utils.runningApplication(Utils::kMouseDaemonBundleId)->processIdentifier, kDaemonPid);
    EXPECT_EQ(lookups(), 1);

    desktop.simWorkspace().quit(kDaemonPid);
    desktop.runUntil(60.0);  // exactly 60 s of wall clock later: still cached
    EXPECT_FALSE(utils.isGestureScroll(*gesture(kDaemonPid))) << "answered from the cache";
    EXPECT_EQ(lookups(), 1);

    desktop.runUntil(60.5);
    EXPECT_TRUE(utils.isGestureScroll(*gesture(kDaemonPid)));
    EXPECT_EQ(lookups(), 2);
    EXPECT_EQ(utils.runningApplication(Utils::kMouseDaemonBundleId), nullptr);
    EXPECT_EQ(lookups(), 2);
}

TEST_F(GestureScroll, AnAbsentDaemonIsRememberedForSixtySeconds) {
    desktop.runUntil(5.0);
    EXPECT_TRUE(utils.isGestureScroll(*gesture(kDaemonPid))) << "without the daemon every gesture stays one";
    EXPECT_TRUE(utils.isGestureScroll(*gesture(0)));
    EXPECT_EQ(lookups(), 1);

    launchDaemon();
    desktop.runUntil(65.0);
    EXPECT_TRUE(utils.isGestureScroll(*gesture(kDaemonPid))) << "still remembered as absent";
    EXPECT_EQ(lookups(), 1);

    desktop.runUntil(65.25);
    EXPECT_FALSE(utils.isGestureScroll(*gesture(kDaemonPid)));
    EXPECT_EQ(lookups(), 2);
}

}  // namespace
}  // namespace gm::engine
