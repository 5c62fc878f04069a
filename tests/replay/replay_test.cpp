// The trace format's rules: errors, ordering and defaults that make every replay reproducible.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ReplayHarness.h"
#include "platform/sim/SimDesktop.h"

namespace gm::testing {
namespace {

using ::testing::HasSubstr;

TEST(Replay, BadLinesAreReportedAndTheRunGoesOn) {
    auto r = replayTrace({
        kScreen60,                                                 // 1
        "",                                                        // 2 blank: skipped, still counted
        "not json",                                                // 3 no usable t: told after line 1
        R"({"t":1,"kind":"dance"})",                               // 4 unknown kind
        R"({"t":0.5,"kind":"start"})",                             // 5 goes backwards: told after line 4
        R"({"t":2,"kind":"scroll","fields":{"11":3.5}})",          // 6 line deltas must be whole
        R"({"t":3,"kind":"settings","document":{"scrollBase":1}})",  // 7 undecodable settings
        R"({"t":4,"kind":"scroll","fields":{"11":3.0}})",          // 8 3.0 is 3
        R"({"t":5,"kind":"scroll","fields":{"11":9223372036854775808.0}})",  // 9 2^63 is out of range
        R"({"t":6,"kind":"screen","id":1,"frame":[0,0,9,9],"hz":1e20})",      // 10 no such display
        R"({"t":7,"kind":"settings","document":)" + std::string(100000, '[') + std::string(100000, ']') + "}",  // 11
    });
    std::vector<std::pair<int, double>> errors;
    for (const auto& l : r.ofKind("error")) errors.emplace_back(l["line"].get<int>(), l["t"].get<double>());
    EXPECT_EQ(errors,
              (std::vector<std::pair<int, double>>{{3, 0}, {4, 1}, {5, 1}, {6, 2}, {7, 3}, {9, 5}, {10, 6}, {11, 7}}));
    EXPECT_THAT(r.ofKind("error")[4]["message"].get<std::string>(), HasSubstr("appSettings"));
    ASSERT_EQ(r.ofKind("drop").size(), 1u) << "line 8 is a valid tick";
}

TEST(Replay, LinesRunBeforeEngineWorkDueAtTheSameTime) {
    // A frame is due at 1/60; a tick at exactly that time is handled before the frame posts,
    // and the frame already queued still runs before the reversal's reset.
    auto r = replayTrace({kScreen60, tick(0, -1), tick(1.0 / 60, +1)});
    ASSERT_EQ(r.lines.size(), 3u);
    EXPECT_EQ(std::tuple(r.lines[1]["kind"], r.lines[2]["kind"], r.lines[2]["t"]), std::tuple("drop", "post", 1.0 / 60));
}

TEST(Replay, UntilIsInclusiveAndDefaultsToTenSecondsAfterTheLastLine) {
    auto r = replayTrace({kScreen60, R"({"t":5,"kind":"tapDisabled","tap":"scroll"})", tick(15.5, -1)}, {}, 15.5);
    // The keeper check at 5.0 had the tap back by 5.5.
    EXPECT_EQ(r.raw, std::vector<std::string>{R"({"t":15.5,"kind":"drop"})"});
    // Undecodable starting settings give the defaults, without an error line: 350 ms is 21 frames at 60 Hz,
    // the last posts nothing.
    auto withDefaults = replayTrace({kScreen60, tick(0, -1)}, std::string("{\"scrollBase\":"));
    EXPECT_EQ(std::tuple(withDefaults.ofKind("post").size(), withDefaults.ofKind("error").size()), std::tuple(20u, 0u));
}

TEST(Replay, AnIdleStretchOfThousandsOfYearsIsSkippedAndTheKeepersStillWork) {
    const double far = 1e11;
    auto r = replayTrace({kScreen60, R"({"t":100000000002,"kind":"tapDisabled","tap":"scroll"})", tick(far + 3), tick(far + 6),
                          R"({"t":2e12,"kind":"start"})"},
                         {}, far + 7);
    // The keeper turn at 1e11 + 5 had the tap back.
    ASSERT_GE(r.lines.size(), 3u);
    EXPECT_EQ(std::tuple(r.lines[0]["kind"], r.lines[1]["kind"], r.lines[2]["message"]),
              std::tuple("untapped", "drop", "\"t\" is past the end of replays (1e12)"));
}

TEST(Replay, ADeliveryIsKeptOnlyByWhoeverReadsIt) {
    platform::sim::SimDesktop desktop;
    std::weak_ptr<platform::Event> seen;
    int deliveries = 0;
    desktop.simTaps().onDelivery = [&](const platform::sim::Delivery& d) { seen = d.event, ++deliveries; };
    desktop.simTaps().deliver(platform::sim::SimDesktop::makeScroll(-10));
    EXPECT_TRUE(deliveries == 1 && seen.expired()) << "a replay streams millions of them";
}

}  // namespace
}  // namespace gm::testing
