// The engine end to end: which ticks are smoothed, passed or left untouched,
// and what stops an animation.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ReplayHarness.h"

namespace gm::testing {
namespace {

using ::testing::ElementsAre;

const std::string kLinear = settingsDocument([](settings::GlidemarkSettings& s) {
    s.scrollAdvanced.step = 60;
    s.scrollAdvanced.duration = 200;
    s.scrollAdvanced.accelerationDelta = 0;
    s.scrollBase.animationEasing = false;
});

TEST(ScrollCore, TicksOverTheDockOrLaunchpadAreNotSmoothed) {
    const std::string dock =
        R"({"t":0,"kind":"app","pid":50,"bundleId":"com.apple.dock","name":"Dock","executable":"/System/Library/CoreServices/Dock.app/Contents/MacOS/Dock"})";
    auto overDock = replayTrace({kScreen60, dock, tick(0.1, -1, R"(,"targetPid":50)")}, kLinear);
    EXPECT_THAT(overDock.kinds(), ElementsAre("pass"));

    auto launchpad = replayTrace(
        {kScreen60, R"({"t":0,"kind":"window","name":"LPSpringboard","onScreen":true})",
         R"({"t":0,"kind":"app","pid":60,"bundleId":"org.example.editor","name":"Editor","executable":"/usr/bin/editor"})",
         tick(0.1, -1, R"(,"targetPid":60)"), R"({"t":0.5,"kind":"window","name":"LPSpringboard","onScreen":false})",
         tick(2, -1, R"(,"targetPid":60)")},
        kLinear);
    ASSERT_GE(launchpad.lines.size(), 2u);
    EXPECT_EQ(launchpad.lines[0]["kind"], "pass");
    EXPECT_EQ(launchpad.lines[1]["kind"], "drop") << "smoothed again once Launchpad is gone";
}

TEST(ScrollCore, GestureInputPassesUntouchedEvenWhenReversing) {
    const std::string reversed = settingsDocument([](settings::GlidemarkSettings& s) { s.scrollBase.reverse = true; });
    auto r = replayTrace({kScreen60, R"({"t":0,"kind":"scroll","fields":{"96":-3,"99":2}})"}, reversed);
    ASSERT_THAT(r.kinds(), ElementsAre("pass"));
    EXPECT_EQ(r.lines[0]["fields"]["96"], -3.0);
}

TEST(ScrollCore, MouseDaemonContinuousEventsAreSmoothed) {
    auto r = replayTrace({kScreen60,
                          R"({"t":0,"kind":"app","pid":70,"bundleId":"com.logitech.manager.daemon","name":"d","executable":null,"regular":false})",
                          R"({"t":0.1,"kind":"scroll","fields":{"96":-3,"99":2},"sourcePid":70})"},
                         kLinear);
    EXPECT_EQ(r.kinds().front(), "drop");
}

TEST(ScrollCore, WithSmoothingOffTicksPassReversedWhenAsked) {
    const std::string doc = settingsDocument([](settings::GlidemarkSettings& s) {
        s.scrollBase.smooth = false;
        s.scrollBase.reverse = true;
    });
    auto r = replayTrace({kScreen60, tick(0.1, +1), R"({"t":0.2,"kind":"start"})"}, doc);
    // Smoothing off: start() installs nothing, so the tick never meets the tap.
    ASSERT_THAT(r.kinds(), ElementsAre("untapped"));

    auto blocked = replayTrace({kScreen60, R"({"t":0.1,"kind":"flagsChanged","keycode":55,"flags":1048576})",
                                tick(0.2, +1)},
                               settingsDocument([](settings::GlidemarkSettings& s) { s.scrollBase.reverse = true; }));
    ASSERT_THAT(blocked.kinds(), ElementsAre("pass"));
    EXPECT_EQ(blocked.lines[0]["fields"]["11"], -1);
    EXPECT_EQ(blocked.lines[0]["fields"]["93"], -1.0);
    EXPECT_EQ(blocked.lines[0]["fields"]["96"], -10.0);
}

TEST(ScrollCore, LeftMousePressStopsTheAnimation) {
    // The press at 0.05 comes before the frame due then, which never runs.
    auto r = replayTrace({kScreen60, tick(0, -1), R"({"t":0.05,"kind":"leftMouseDown","location":[5,5]})"}, kLinear);
    EXPECT_THAT(r.posted(), ElementsAre(-5, -5));
}

TEST(ScrollCore, BlockKeyStopsTheAnimationAndPassesTicksUntilReleased) {
    auto r = replayTrace({kScreen60, tick(0, -1),
                          R"({"t":0.05,"kind":"flagsChanged","keycode":61,"flags":524288})",  // right Option down
                          tick(0.5, -1),
                          R"({"t":0.6,"kind":"flagsChanged","keycode":61,"flags":0})",  // released
                          tick(1, -1)},
                         kLinear);
    std::vector<std::string> kinds;
    for (const auto& l : r.lines)
        if (l["kind"] != "post") kinds.push_back(l["kind"]);
    EXPECT_THAT(kinds, ElementsAre("drop", "pass", "drop"));
    EXPECT_EQ(r.posted().size(), 3u + 11u);
}

TEST(ScrollCore, ClosingEventOnlyForTheApplicationThatWantsIt) {
    const std::string app = R"({"t":0,"kind":"app","pid":80,"bundleId":"com.google.Chrome","name":"Browser","executable":"/opt/browser"})";
    const std::string other = R"({"t":0,"kind":"app","pid":81,"bundleId":"org.example.other","name":"Other","executable":"/opt/other"})";
    auto r = replayTrace({kScreen60, app, tick(0, -1, R"(,"targetPid":80)")}, kLinear);
    auto posts = r.ofKind("post");
    ASSERT_EQ(posts.size(), 12u);
    const auto& closing = posts.back();
    EXPECT_EQ(closing["t"].get<double>(), 12.0 / 60) << "sent when the animation runs out";
    EXPECT_EQ(closing["fields"]["96"], 0.0);
    EXPECT_EQ(closing["fields"]["97"], 0.0);
    EXPECT_EQ(closing["fields"]["88"], 1.0);
    EXPECT_EQ(closing["fields"]["99"], 4.0);
    EXPECT_EQ(closing["fields"]["123"], 0.0);

    auto plain = replayTrace({kScreen60, other, tick(0, -1, R"(,"targetPid":81)")}, kLinear);
    EXPECT_EQ(plain.ofKind("post").size(), 11u);
}

TEST(ScrollCore, TickOnASecondDisplayMovesTheClockThere) {
    // Screen 2 refreshes at 120 Hz: after the second tick the frames come every 1/120 s.
    auto r = replayTrace({kScreen60, R"({"t":0,"kind":"screen","id":2,"frame":[1920,0,1920,1080],"hz":120})",
                          tick(0, -1), R"({"t":0.05,"kind":"scroll","fields":{"11":-1,"93":-1,"96":-10},"location":[2000,10]})"},
                         kLinear);
    auto posts = r.ofKind("post");
    ASSERT_GT(posts.size(), 5u);
    EXPECT_EQ(posts[1]["t"].get<double>(), 2.0 / 60);
    EXPECT_EQ(posts[2]["t"].get<double>(), 7.0 / 120) << "first tick of the new link after t = 0.05";
    EXPECT_EQ(posts[3]["t"].get<double>(), 8.0 / 120);
    // The first fiber goes on under the new clock: its 60 points and the second tick's, less the lost last frame.
    double sum = 0;
    for (double d : r.posted()) sum += d;
    EXPECT_LE(sum, -100);
}

TEST(ScrollCore, TickOnNoScreenKeepsTheCurrentLink) {
    auto r = replayTrace({kScreen60, tick(0, -1),
                          R"({"t":1,"kind":"scroll","fields":{"11":-1,"93":-1,"96":-10},"location":[-500,-500]})"},
                         kLinear);
    auto posts = r.ofKind("post");
    ASSERT_EQ(posts.size(), 11u + 12u);
    EXPECT_EQ(posts[11]["t"].get<double>(), 61.0 / 60) << "the link of screen 1 paces the second tick too";
}

TEST(ScrollCore, TapDisabledBySystemIsBackHalfASecondAfterTheNextKeeperCheck) {
    auto r = replayTrace({kScreen60, R"({"t":1,"kind":"tapDisabled","tap":"scroll"})", tick(5.2, -1), tick(5.6, -1)},
                         kLinear, 6);
    std::vector<std::string> kinds;
    for (const auto& l : r.lines)
        if (l["kind"] != "post") kinds.push_back(l["kind"]);
    // Keeper checks at 5.0 find it off; it is re-enabled at 5.5.
    EXPECT_THAT(kinds, ElementsAre("untapped", "drop"));
}

TEST(ScrollCore, AfterEndTicksReachApplicationsUntapped) {
    auto r = replayTrace({kScreen60, tick(0, -1), R"({"t":0.05,"kind":"end"})", tick(1, -1)}, kLinear);
    std::vector<std::string> kinds;
    for (const auto& l : r.lines)
        if (l["kind"] != "post") kinds.push_back(l["kind"]);
    EXPECT_THAT(kinds, ElementsAre("drop", "untapped"));
    EXPECT_EQ(r.posted().size(), 2u) << "end() stops the running animation before the frame due at 0.05";
}

TEST(ScrollCore, FailedStartCanBeRetriedOnceAccessIsGranted) {
    auto r = replayTrace({kScreen60, R"({"t":0.1,"kind":"end"})", R"({"t":0.2,"kind":"trust","granted":false})",
                          R"({"t":0.3,"kind":"start"})", tick(0.4, -1), R"({"t":1,"kind":"trust","granted":true})",
                          R"({"t":1.1,"kind":"start"})", tick(1.2, -1)},
                         kLinear);
    std::vector<std::string> kinds;
    for (const auto& l : r.lines)
        if (l["kind"] != "post") kinds.push_back(l["kind"]);
    EXPECT_THAT(kinds, ElementsAre("untapped", "drop"));
    EXPECT_NE(r.diagnostics.find("[ScrollCore] Create Interceptor failure: eventTapCreationFailed"), std::string::npos);
}

TEST(ScrollCore, SettingsChangesApplyToTheNextTick) {
    auto r = replayTrace({kScreen60, tick(0, -1),
                          R"({"t":1,"kind":"settings","document":)" +
                              settingsDocument([](settings::GlidemarkSettings& s) { s.scrollBase.smooth = false; }) + "}",
                          tick(2, -1)},
                         kLinear);
    std::vector<std::string> kinds;
    for (const auto& l : r.lines)
        if (l["kind"] != "post") kinds.push_back(l["kind"]);
    EXPECT_THAT(kinds, ElementsAre("drop", "pass"));
}

}  // namespace
}  // namespace gm::testing
