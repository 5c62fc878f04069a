// The engine end to end: which ticks are smoothed, passed or left untouched,
// and what stops an animation.
#include <gtest/gtest.h>

#include <numeric>

#include "ReplayHarness.h"

namespace gm::testing {
namespace {

const std::string kLinear = sixtyPoints(false);

const std::string kDock =
    R"({"t":0,"kind":"app","pid":50,"bundleId":"com.apple.dock","name":"Dock","executable":"/System/Library/CoreServices/Dock.app/Contents/MacOS/Dock"})";

// What becomes of each tick: the kinds of the lines that are not posts, and how many posts follow.
TEST(ScrollCore, WhichTicksAreSmoothedPassedOrLeftUntapped) {
    // What it shows, the trace and settings, the kinds of the lines that are not posts, the number of posts,
    // the vertical point delta of the first line, a diagnostic printed, the end of the run.
    struct Case {
        const char* what;
        std::vector<std::string> trace;
        std::string settings;
        std::vector<std::string> kinds;
        std::size_t posts;
        std::optional<double> firstY = {};
        std::string diagnostic = {};
        std::optional<double> until = {};
    };
    const std::string reversed = settingsDocument([](settings::GlidemarkSettings& s) { s.scrollBase.reverse = true; });
    const std::string offReversed =
        settingsDocument([](settings::GlidemarkSettings& s) { s.scrollBase = {.smooth = false, .reverse = true}; });
    const std::string offLater = R"({"t":1,"kind":"settings","document":)" +
                                 settingsDocument([](settings::GlidemarkSettings& s) { s.scrollBase.smooth = false; }) + "}";
    const std::string editor =
        R"({"t":0,"kind":"app","pid":60,"bundleId":"org.example.editor","name":"Editor","executable":"/usr/bin/editor"})";
    const std::string editorOffLater = R"({"t":1,"kind":"settings","document":)" +
                                       settingsDocument([](settings::GlidemarkSettings& s) {
                                           s.appSettings.exceptionalApplication = {
                                               std::make_shared<settings::ExceptionalApplication>(
                                                   "org.example.editor", settings::ScrollBase{.smooth = false},
                                                   settings::ScrollAdvanced{}, true)};
                                       }) +
                                       "}";
    const Case cases[] = {
        {"over the Dock", {kScreen60, kDock, tick(0.1, -1, R"(,"targetPid":50)")}, kLinear, {"pass"}, 0},
        // targetPid (1 when not given) wins over the event's own field.
        {"a field naming the Dock", {kScreen60, kDock, R"({"t":1,"kind":"scroll","fields":{"40":50,"96":-10}})"}, kLinear,
         {"drop"}, 12},
        {"over Launchpad, then smoothed again once it is gone",
         {kScreen60, R"({"t":0,"kind":"window","name":"LPSpringboard","onScreen":true})",
          R"({"t":0,"kind":"app","pid":60,"bundleId":"org.example.editor","name":"Editor","executable":"/usr/bin/editor"})",
          tick(0.1, -1, R"(,"targetPid":60)"), R"({"t":0.5,"kind":"window","name":"LPSpringboard","onScreen":false})",
          tick(2, -1, R"(,"targetPid":60)")},
         kLinear, {"pass", "drop"}, 11},
        {"gesture input passes untouched even when reversing",
         {kScreen60, R"({"t":0,"kind":"scroll","fields":{"96":-3,"99":2}})"}, reversed, {"pass"}, 0, -3.0},
        {"continuous events of the mouse daemon are smoothed",
         {kScreen60,
          R"({"t":0,"kind":"app","pid":70,"bundleId":"com.logitech.manager.daemon","name":"d","executable":null,"regular":false})",
          R"({"t":0.1,"kind":"scroll","fields":{"96":-3,"99":2},"sourcePid":70})"},
         kLinear, {"drop"}, 12},  // 0.3 - 0.1 falls a hair short of 0.2 in doubles: one more frame posts
        {"smoothing off: start() installs nothing, so the tick never meets the tap",
         {kScreen60, tick(0.1, +1), R"({"t":0.2,"kind":"start"})"}, offReversed, {"untapped"}, 0},
        {"a block key held: passed, reversed when asked",
         {kScreen60, R"({"t":0.1,"kind":"flagsChanged","keycode":55,"flags":1048576})", tick(0.2, +1)}, reversed,
         {"pass"}, 0, -10.0},
        {"a block key stops the animation and passes ticks until released",
         {kScreen60, tick(0, -1), R"({"t":0.05,"kind":"flagsChanged","keycode":61,"flags":524288})", tick(0.5, -1),
          R"({"t":0.6,"kind":"flagsChanged","keycode":61,"flags":0})", tick(1, -1)},
         kLinear, {"drop", "pass", "drop"}, 3 + 11},
        {"a left mouse press stops the animation before the frame due with it",
         {kScreen60, tick(0, -1), R"({"t":0.05,"kind":"leftMouseDown","location":[5,5]})"}, kLinear, {"drop"}, 2},
        {"after end() ticks reach applications untapped, and the running animation stops before the frame due",
         {kScreen60, tick(0, -1), R"({"t":0.05,"kind":"end"})", tick(1, -1)}, kLinear, {"drop", "untapped"}, 2},
        {"a tap the system disabled is back half a second after the next keeper check (at 5.0)",
         {kScreen60, R"({"t":1,"kind":"tapDisabled","tap":"scroll"})", tick(5.2, -1), tick(5.6, -1)}, kLinear,
         {"untapped", "drop"}, 11, {}, {}, 6},
        {"a failed start can be retried once access is granted",
         {kScreen60, R"({"t":0.1,"kind":"end"})", R"({"t":0.2,"kind":"trust","granted":false})",
          R"({"t":0.3,"kind":"start"})", tick(0.4, -1), R"({"t":1,"kind":"trust","granted":true})",
          R"({"t":1.1,"kind":"start"})", tick(1.2, -1)},
         kLinear, {"untapped", "drop"}, 12, {}, "[ScrollCore] Create Interceptor failure: eventTapCreationFailed"},
        {"settings changes apply to the next tick", {kScreen60, tick(0, -1), offLater, tick(2, -1)}, kLinear,
         {"drop", "pass"}, 11},
        {"an exception made for the application under the pointer applies to its next tick",
         {kScreen60, editor, tick(0, -1, R"(,"targetPid":60)"), editorOffLater, tick(2, -1, R"(,"targetPid":60)")},
         kLinear, {"drop", "pass"}, 11},
        {"zero duration posts nothing", {kScreen60, tick(0, +1), tick(1, +1)},
         settingsDocument([](settings::GlidemarkSettings& s) { s.scrollAdvanced.duration = 0; }), {"drop", "drop"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto r = replayTrace(c.trace, c.settings, c.until);
        EXPECT_EQ(r.events(), c.kinds);
        EXPECT_EQ(r.posted().size(), c.posts);
        EXPECT_EQ(c.firstY.value_or(0), c.firstY ? r.lines.at(0)["fields"]["96"].get<double>() : 0.0);
        EXPECT_NE(r.diagnostics.find(c.diagnostic), std::string::npos) << r.diagnostics;
    }
}

TEST(ScrollCore, ClosingEventOnlyForTheApplicationThatWantsIt) {
    const std::string app = R"({"t":0,"kind":"app","pid":80,"bundleId":"com.google.Chrome","name":"Browser","executable":"/opt/browser"})";
    const std::string other = R"({"t":0,"kind":"app","pid":81,"bundleId":"org.example.other","name":"Other","executable":"/opt/other"})";
    auto r = replayTrace({kScreen60, app, tick(0, -1, R"(,"targetPid":80)")}, kLinear);
    auto posts = r.ofKind("post");
    ASSERT_EQ(posts.size(), 12u);
    // Sent when the animation runs out.
    const auto& t = posts.back()["t"];
    const auto& f = posts.back()["fields"];
    EXPECT_EQ(std::tuple(t, f["96"], f["97"], f["88"], f["99"], f["123"]), std::tuple(12.0 / 60, 0.0, 0.0, 1.0, 4.0, 0.0));
    auto plain = replayTrace({kScreen60, other, tick(0, -1, R"(,"targetPid":81)")}, kLinear);
    EXPECT_EQ(plain.ofKind("post").size(), 11u) << "and no closing event for one that does not";
}

TEST(ScrollCore, TickOnASecondDisplayMovesTheClockThere) {
    // Screen 2 refreshes at 120 Hz: after the second tick the frames come every 1/120 s.
    auto r = replayTrace({kScreen60, R"({"t":0,"kind":"screen","id":2,"frame":[1920,0,1920,1080],"hz":120})",
                          tick(0, -1), R"({"t":0.05,"kind":"scroll","fields":{"11":-1,"93":-1,"96":-10},"location":[2000,10]})"},
                         kLinear);
    auto posts = r.ofKind("post");
    ASSERT_GT(posts.size(), 5u);
    // 7/120 is the first tick of the new link after t = 0.05.
    EXPECT_EQ(std::tuple(posts[1]["t"], posts[2]["t"], posts[3]["t"]), std::tuple(2.0 / 60, 7.0 / 120, 8.0 / 120));
    // The first fiber goes on under the new clock: its 60 points and the second tick's, less the lost last frame.
    const auto posted = r.posted();
    EXPECT_LE(std::accumulate(posted.begin(), posted.end(), 0.0), -100);
}

TEST(ScrollCore, TickOnNoScreenKeepsTheCurrentLink) {
    auto r = replayTrace({kScreen60, tick(0, -1),
                          R"({"t":1,"kind":"scroll","fields":{"11":-1,"93":-1,"96":-10},"location":[-500,-500]})"},
                         kLinear);
    auto posts = r.ofKind("post");
    ASSERT_EQ(posts.size(), 11u + 12u);
    EXPECT_EQ(posts[11]["t"].get<double>(), 61.0 / 60) << "the link of screen 1 paces the second tick too";
}

}  // namespace
}  // namespace gm::testing
