// Replies in the shapes sway and Hyprland send them (trimmed to the fields we
// read): window lists, focus, the cursor, screen layouts; and desktop detection.
#include <algorithm>
#include <tuple>
#include <map>

#include "DesktopTestSupport.h"
#include "platform/linux/desktop/WaylandCompositors.h"

namespace ld = gm::platform::linux_desktop;
using gm::platform::Point;
using gm::testing::box;

// Recorded replies: tiled windows inside a split container, a floating window,
// an XWayland window on a second output and a window hidden in the scratchpad;
// outputs, one inactive; a laptop panel at 1.5 and an external monitor turned
// a quarter; two tiled clients, a floating one whose class is empty, one on a
// hidden workspace and one not mapped.
const std::string kTree = gm::testing::corpus("compositor_replies_fuzzer/sway-tree.json");
const std::string kOutputs = gm::testing::corpus("compositor_replies_fuzzer/sway-outputs.json");
const std::string kMonitors = gm::testing::corpus("compositor_replies_fuzzer/hyprland-monitors.json");
const std::string kHyprClients = gm::testing::corpus("compositor_replies_fuzzer/hyprland-clients.json");

TEST(SwayWindowList, EveryWindowAtAnyDepthButNoContainers) {
    // The split container and the window without a process are not applications.
    std::vector<std::string> got;
    for (const auto& w : ld::sway::windows(kTree))
        got.push_back(std::to_string(w.pid) + " " + w.appId + "/" + w.instance + (w.floating ? " floating" : "") + " at " +
                      std::to_string(int(w.frame.x)));
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"2001 kitty/ at 0", "2002 org.gnome.TextEditor/ at 0",
                                             "2003 org.gnome.Calculator/ floating at 700", "2004 firefox/Navigator at 1920",
                                             "2005 pavucontrol/ floating at 0"}));
    // The same tree also answers which one is focused, below the split container.
    ASSERT_TRUE(ld::sway::focusedWindow(kTree));
    EXPECT_EQ(ld::sway::focusedWindow(kTree)->pid, 2001);
}

// Replies that name nothing: broken, of another shape, or nested far deeper
// than any real tree (the socket takes replies of megabytes).
TEST(CompositorReplies, ThatNameNothingGiveNothing) {
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += R"({"nodes":[)";
    deep += R"({"type":"con","pid":1,"app_id":"deep","focused":true})";
    for (int i = 0; i < 100000; ++i) deep += "]}";
    for (const std::string_view reply :
         std::initializer_list<std::string_view>{R"({"type":"root","nodes":[{"type":"workspace","focused":true,"nodes":[]}]})",
                                                 R"({"type":"root","nodes":[]})", R"({"type":"root","nodes":[)", "[]", deep})
        EXPECT_FALSE(ld::sway::focusedWindow(reply)) << reply.substr(0, 80);
    EXPECT_TRUE(ld::sway::windows("not json").empty());
    EXPECT_TRUE(ld::sway::windows(R"({"type":"root","nodes":{"oops":1}})").empty());
    EXPECT_TRUE(ld::sway::outputs("{}").empty());
    EXPECT_TRUE(ld::hyprland::monitors("ok").empty());
    EXPECT_FALSE(ld::hyprland::cursorPosition("{}"));
    EXPECT_FALSE(ld::hyprland::cursorPosition("unknown request"));
    EXPECT_FALSE(ld::hyprland::activeWindow("{}"));  // nothing focused
}

// Sway's active outputs by their rect (not the mode's pixels); Hyprland's
// monitors scaled and turned.
TEST(ScreenLayouts, FramesInLogicalUnitsWithRatesAndStableIds) {
    const auto sway = ld::sway::outputs(kOutputs), hypr = ld::hyprland::monitors(kMonitors);
    ASSERT_EQ(sway.size(), 2u);
    ASSERT_EQ(hypr.size(), 2u);
    const std::tuple<const gm::platform::Screen*, std::array<double, 4>, double> rows[] = {
        {&sway[0], {0, 0, 1920, 1200}, 59.999}, {&sway[1], {1920, -200, 2560, 1440}, 143.912},
        {&hypr[0], {0, 0, 1920, 1200}, 120.0},  {&hypr[1], {1920, 0, 1440, 2560}, 59.951},  // turned a quarter: tall
    };
    for (const auto& [screen, frame, rate] : rows) {
        EXPECT_EQ(box(screen->frame), frame);
        EXPECT_NEAR(screen->refreshRate, rate, 1e-9);
    }
    EXPECT_EQ(hypr[0].displayID, 0u);
    EXPECT_EQ(hypr[1].displayID, 3u);
    ASSERT_TRUE(sway[0].displayID && sway[1].displayID);
    EXPECT_NE(*sway[0].displayID, *sway[1].displayID);

    // An output keeps its number when the others come and go.
    const auto alone = ld::sway::outputs(
        R"([{"name":"DP-2","active":true,"rect":{"x":0,"y":0,"width":2560,"height":1440},"current_mode":{}}])");
    ASSERT_EQ(alone.size(), 1u);
    EXPECT_EQ(alone[0].displayID, sway[1].displayID);
    EXPECT_EQ(alone[0].refreshRate, 60.0);  // no mode rate: the usual one
}

TEST(HyprlandIpc, ClientsAndTheWindowUnderTheCursor) {
    const auto list = ld::hyprland::clients(kHyprClients);
    ASSERT_EQ(list.size(), 4u);  // not the unmapped one
    EXPECT_EQ(list[2].appId, "org.gnome.Calculator");  // the initial class, when the class is empty
    EXPECT_TRUE(list[2].floating);
    EXPECT_EQ(list[3].workspace, 2);
    EXPECT_EQ(ld::hyprland::visibleWorkspaces(kMonitors), (std::vector<int>{1, 4}));
    const auto at = [&](double x, double y) {
        const auto w = ld::hyprland::windowAt(list, {1}, Point{x, y});
        return w ? w->pid : 0;
    };
    // 3003 floats above the tiled window beneath it; nothing is at (3000, 100).
    EXPECT_EQ((std::vector<int>{at(100, 100), at(2000, 100), at(1100, 600), at(1300, 600), at(3000, 100)}),
              (std::vector<int>{3001, 3002, 3003, 3003, 0}));
    // Workspace 2's window covers everything, but it is not shown.
    auto withSpecial = list;
    withSpecial[3].workspace = -98;
    EXPECT_EQ(ld::hyprland::windowAt(withSpecial, {1, -98}, Point{100, 100})->pid, 3004);  // special workspace on top
}

TEST(DesktopDetection, WaylandCompositorsBeforeX11) {
    const auto detect = [](std::map<std::string, std::string> env) {
        return ld::detectDesktop([&](const char* name) -> const char* {
            const auto it = env.find(name);
            return it == env.end() ? nullptr : it->second.c_str();
        });
    };
    EXPECT_EQ(detect({{"DISPLAY", ":0"}}), ld::DesktopKind::X11);
    EXPECT_EQ(detect({{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}), ld::DesktopKind::OtherWayland);
    EXPECT_EQ(detect({{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-1"}, {"SWAYSOCK", "/run/user/1000/sway.sock"}}),
              ld::DesktopKind::Sway);
    EXPECT_EQ(detect({{"WAYLAND_DISPLAY", "wayland-1"}, {"HYPRLAND_INSTANCE_SIGNATURE", "abc_123"}}),
              ld::DesktopKind::Hyprland);
    EXPECT_EQ(detect({{"DISPLAY", ""}}), ld::DesktopKind::None);
}
