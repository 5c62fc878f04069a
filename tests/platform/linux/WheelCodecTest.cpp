// The arithmetic between evdev wheel codes and the platform's scroll events.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include <nlohmann/json.hpp>

#include "platform/linux/WheelCodec.h"
#include "replay/Replay.h"

namespace gm::platform::linux_input {
namespace {

WheelMotion motionOf(const std::vector<input_event>& frame) {
    std::array<bool, 2> hiRes{};
    for (const auto& e : frame) {
        if (e.code == REL_WHEEL_HI_RES) hiRes[kVertical] = true;
        if (e.code == REL_HWHEEL_HI_RES) hiRes[kHorizontal] = true;
    }
    WheelMotion m;
    for (const auto& e : frame) addWheelEvent(e, m, hiRes);
    return m;
}

// Frames to ticks, wheel up and content moving right positive on both axes.
TEST(WheelTap, FramesBecomeTicksOfWholeNotches) {
    const struct {
        std::vector<input_event> frame;
        std::array<int, 2> units, ticks;
        bool subNotch;
    } rows[] = {
        {{makeEvent(EV_REL, REL_WHEEL, 1)}, {120, 0}, {1, 0}, false},
        {{makeEvent(EV_REL, REL_HWHEEL, 1)}, {0, -120}, {0, -1}, false},  // REL_HWHEEL counts to the right
        {{makeEvent(EV_REL, REL_WHEEL_HI_RES, -120), makeEvent(EV_REL, REL_WHEEL, -1)}, {-120, 0}, {-1, 0}, false},
        {{makeEvent(EV_REL, REL_WHEEL, 2)}, {240, 0}, {2, 0}, false},
        {{makeEvent(EV_REL, REL_WHEEL_HI_RES, 15)}, {15, 0}, {0, 0}, true},
        {{makeEvent(EV_REL, REL_HWHEEL_HI_RES, 200)}, {0, -200}, {0, -1}, true},
    };
    for (const auto& row : rows) {
        const WheelMotion m = motionOf(row.frame);
        EXPECT_EQ(m.units, row.units) << row.frame[0].code;
        EXPECT_EQ(isSubNotch(m), row.subNotch) << row.frame[0].code;
        EXPECT_EQ(notchesOf(*makeScrollEvent(m, {})), row.ticks) << row.frame[0].code;
    }
    // A tapped notch carries a short tick's points, for some application not known yet.
    auto up = makeScrollEvent(motionOf({makeEvent(EV_REL, REL_WHEEL, 1)}), Point{});
    EXPECT_DOUBLE_EQ(up->doubleValue(field::scrollPointDeltaAxis1), kPointsPerTappedNotch);
    EXPECT_EQ(up->integerValue(field::targetProcessID), 1);

    // A re-emitted tick follows the event's line deltas, as a reversal writes them,
    // and goes back to evdev's convention: the horizontal axis mirrored.
    up->setIntegerValue(field::scrollDeltaAxis1, -1);
    EXPECT_EQ(notchesOf(*up), (std::array<int, 2>{-1, 0}));
    std::vector<input_event> out;
    appendWheelEvents(out, {-120, 120}, {-1, 1});
    std::vector<std::pair<int, int>> got;
    for (const auto& e : out) got.emplace_back(e.code, e.value);
    EXPECT_EQ(got, (std::vector<std::pair<int, int>>{
                       {REL_WHEEL_HI_RES, -120}, {REL_WHEEL, -1}, {REL_HWHEEL_HI_RES, -120}, {REL_HWHEEL, -1}}));
}

// ---- the desktop's start threshold ------------------------------------------------

TEST(WheelStartModel, HoldsSmallStartsUntilHalfANotchAndRestsAfterHalfASecond) {
    WheelStartModel m;
    EXPECT_FALSE(m.wouldRelease({20, 0}, 0.0));
    m.apply({20, 0}, 0.0);
    m.apply({20, 0}, 0.016);
    EXPECT_TRUE(m.wouldRelease({20, 0}, 0.033));  // 60 accumulated
    m.apply({20, 0}, 0.033);
    EXPECT_TRUE(m.wouldRelease({1, 0}, 0.050));  // scrolling: everything goes through
    m.apply({1, 0}, 0.050);
    EXPECT_FALSE(m.wouldRelease({1, 0}, 0.600));  // rested
    EXPECT_FALSE(m.wouldRelease({-30, 0}, 0.1));  // a change of direction starts over
    EXPECT_FALSE(m.wouldRelease({0, 30}, 0.1));   // so does the other axis
}

// ---- posting ------------------------------------------------------------------------

// Random posts, now and then after a pause long enough to rest: without the
// start assist every frame's units carry the fractions, so that what was emitted
// is the rounded posted total; with it the lead stays within half a notch and no
// frame goes against its points.
TEST(WheelEncoder, RandomPostsEmitThePostedTotalOrStayWithinHalfANotchOfIt) {
    for (const bool assist : {false, true}) {
        WheelEncoder enc;
        enc.setStartAssist(assist);
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> points(-7.0, 9.0);
        std::uniform_int_distribution<int> gap(0, 40);
        double t = 0;
        for (int i = 0; i < 5000; ++i) {
            const double v = points(rng), h = i % 3 == 0 ? points(rng) : 0.0;
            const auto f = enc.encodePoints(v, h, t += gap(rng) == 0 ? 0.7 : 0.016);
            if (!assist) {
                for (std::size_t a : {0u, 1u}) ASSERT_EQ(enc.emittedUnits()[a], std::llround(enc.postedUnits()[a])) << "frame " << i;
            } else {
                ASSERT_LE(std::abs(enc.lead()[0]), WheelStartModel::kThreshold) << "frame " << i;
                ASSERT_GE(f.units[0] * v, 0.0) << "frame " << i;
            }
        }
    }
    // 0.3 point a frame is 0.4 unit: nothing lost over many frames.
    WheelEncoder slow;
    slow.setStartAssist(false);
    int total = 0;
    for (int i = 0; i < 100; ++i) total += slow.encodePoints(0.3, 0, i * 0.016).units[0];
    EXPECT_EQ(total, 40);
}

TEST(WheelEncoder, LegacyNotchFollowsEveryWholeNotchOfHighResolutionUnits) {
    WheelEncoder enc;
    enc.setStartAssist(false);
    int units = 0, notches = 0;
    for (int i = 0; i < 30; ++i) {  // 30 x 9 points = 3 notches
        auto f = enc.encodePoints(9.0, 0, i * 0.016);
        units += f.units[0];
        notches += f.notches[0];
        EXPECT_LE(std::abs(f.notches[0]), 1);
    }
    EXPECT_EQ(units, 360);
    EXPECT_EQ(notches, 3);
    // Turning back starts a fresh notch count: 3 notches down, not 3 plus a remainder.
    for (int i = 0; i < 30; ++i) notches += enc.encodePoints(-9.0, 0, 1 + i * 0.016).notches[0];
    EXPECT_EQ(notches, 0);
}

TEST(WheelEncoder, BurstStartsAtOnceAndKeepsMovingWhileTheLeadIsPaidBack) {
    // An eased tick of 90 points: small first frames the desktop would hold back.
    const double frames[] = {3, 7, 11, 13, 13, 11, 9, 7, 6, 4, 3, 3};
    WheelEncoder enc;
    double t = 10.0;
    auto first = enc.encodePoints(frames[0], 0, t);
    EXPECT_EQ(first.units[0], WheelStartModel::kThreshold);  // released in the first frame
    int emitted = first.units[0];
    for (std::size_t i = 1; i < std::size(frames); ++i) {
        auto f = enc.encodePoints(frames[i], 0, t += 1.0 / 60);
        EXPECT_GT(f.units[0], 0) << "frame " << i << " neither stalls nor goes backwards";
        EXPECT_GE(enc.lead()[0], 0);
        emitted += f.units[0];
    }
    // Paid back within the tick: it scrolls what was posted, no more.
    EXPECT_EQ(enc.lead()[0], 0);
    EXPECT_EQ(emitted, 120);

    // Without the assist the same burst would reach the application only after 45 points.
    WheelStartModel desktop;
    int heldFrames = 0;
    WheelEncoder plain;
    plain.setStartAssist(false);
    for (double p : frames) {
        auto f = plain.encodePoints(p, 0, t += 1.0 / 60);
        if (!desktop.wouldRelease(f.units, t)) ++heldFrames;
        desktop.apply(f.units, t);
    }
    EXPECT_GE(heldFrames, 4);
}

TEST(WheelEncoder, ReversalSettlesAnOutstandingLead) {
    WheelEncoder enc;
    enc.encodePoints(3, 0, 0.0);  // kicked to 60 units, 4 posted
    ASSERT_GT(enc.lead()[0], 0);
    auto back = enc.encodePoints(-6, 0, 0.016);  // 8 units down, plus the lead
    EXPECT_LT(back.units[0], -8);
    EXPECT_EQ(enc.lead()[0], 0);
    EXPECT_EQ(enc.emittedUnits()[0], std::llround(enc.postedUnits()[0]));

    // Cut short and followed by a rest, the lead is forgiven instead: the next
    // scroll starts afresh (half a notch at once), without the old lead on top.
    enc.encodePoints(3, 0, 1.0);
    EXPECT_EQ(enc.encodePoints(-6, 0, 1.7).units[0], -WheelStartModel::kThreshold);
}

// ---- the engine's own frames, through the encoder ------------------------------------

namespace {
// What the real engine posts on the simulated desktop for `ticks` (seconds), at `hz`: (time, points).
std::vector<std::pair<double, double>> enginePosts(double hz, const std::vector<double>& ticks) {
    std::vector<std::string> trace{R"({"t":0,"kind":"screen","id":1,"frame":[0,0,1920,1080],"hz":)" +
                                   std::to_string(hz) + "}"};
    for (double t : ticks)
        trace.push_back(R"({"t":)" + std::to_string(t) +
                        R"(,"kind":"scroll","fields":{"11":1,"93":1,"96":10},"location":[100,100]})");
    std::vector<std::pair<double, double>> out;
    gm::replay::Options options;
    gm::replay::run(
        trace, options,
        [&](const std::string& line) {
            auto j = nlohmann::json::parse(line);
            if (j["kind"] == "post") out.push_back({j["t"].get<double>(), j["fields"]["96"].get<double>()});
        },
        [](const std::string&) {});
    return out;
}
}  // namespace

// What the twin emits for a tick is what the engine posted for it, rounded
// once, whatever the refresh rate and the phase of the display: the start lead
// is paid back within the tick.
TEST(WheelEncoder, EmitsExactlyWhatTheEnginePostedAtEveryRefreshRate) {
    for (double hz : {30.0, 60.0, 144.0, 240.0}) {
        for (double phase : {0.0003, 0.0041, 0.0097}) {
            for (bool burst : {false, true}) {
                std::vector<double> ticks{1.0 + phase};
                if (burst)
                    for (int i = 1; i < 5; ++i) ticks.push_back(1.0 + phase + 0.030 * i);
                const auto posts = enginePosts(hz, ticks);
                WheelEncoder enc;
                double points = 0;
                std::int64_t units = 0;
                for (const auto& [t, p] : posts) {
                    points += p;
                    units += enc.encodePoints(p, 0, t).units[0];
                }
                const std::string row = std::to_string(hz) + " Hz, phase " + std::to_string(phase) +
                                        (burst ? ", five ticks" : ", one tick");
                ASSERT_GT(posts.size(), 3u) << row;
                EXPECT_EQ(units, std::llround(points * kUnitsPerNotch / kPointsPerNotch)) << row;
                EXPECT_EQ(enc.lead()[0], 0) << row;
            }
        }
    }
}

}  // namespace
}  // namespace gm::platform::linux_input
