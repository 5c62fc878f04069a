// Replies recorded from sway and Hyprland (trimmed to the fields we read, in
// the shapes those compositors send), and the desktop detection.
#include <gtest/gtest.h>

#include <map>

#include "platform/linux/desktop/WaylandCompositors.h"

namespace ld = gm::platform::linux_desktop;
using gm::platform::Point;

namespace {

// GET_TREE with a tiled Wayland window, a focused XWayland window on a
// second output and a floating window.
constexpr std::string_view kSwayTree = R"({
  "id": 1, "type": "root", "name": "root", "focused": false,
  "rect": {"x": 0, "y": 0, "width": 3840, "height": 1080},
  "nodes": [
    {"id": 2147483647, "type": "output", "name": "__i3", "focused": false, "nodes": [], "floating_nodes": []},
    {"id": 3, "type": "output", "name": "DP-1", "focused": false, "nodes": [
      {"id": 4, "type": "workspace", "name": "1", "focused": false, "nodes": [
        {"id": 7, "type": "con", "name": "notes.txt - Text Editor", "focused": false, "pid": 2001,
         "app_id": "org.gnome.TextEditor", "rect": {"x": 0, "y": 0, "width": 1920, "height": 1080},
         "nodes": [], "floating_nodes": []}
      ], "floating_nodes": [
        {"id": 9, "type": "floating_con", "name": "Calculator", "focused": false, "pid": 2003,
         "app_id": "org.gnome.Calculator", "rect": {"x": 700, "y": 300, "width": 400, "height": 500},
         "nodes": [], "floating_nodes": []}
      ]}
    ]},
    {"id": 5, "type": "output", "name": "HDMI-A-1", "focused": false, "nodes": [
      {"id": 6, "type": "workspace", "name": "2", "focused": false, "nodes": [
        {"id": 8, "type": "con", "name": "Mozilla Firefox", "focused": true, "pid": 2002, "app_id": null,
         "shell": "xwayland", "fullscreen_mode": 0,
         "window_properties": {"class": "firefox", "instance": "Navigator", "title": "Mozilla Firefox"},
         "rect": {"x": 1920, "y": 0, "width": 1920, "height": 1080}, "nodes": [], "floating_nodes": []}
      ], "floating_nodes": []}
    ]}
  ],
  "floating_nodes": []
})";

constexpr std::string_view kHyprClients = R"([
  {"address": "0x5581a1", "mapped": true, "hidden": false, "at": [0, 0], "size": [1280, 1440],
   "workspace": {"id": 1, "name": "1"}, "floating": false, "monitor": 0, "class": "org.gnome.TextEditor",
   "title": "notes", "initialClass": "org.gnome.TextEditor", "pid": 3001, "xwayland": false, "pinned": false,
   "fullscreen": 0, "focusHistoryID": 1},
  {"address": "0x5581a2", "mapped": true, "hidden": false, "at": [1280, 0], "size": [1280, 1440],
   "workspace": {"id": 1, "name": "1"}, "floating": false, "monitor": 0, "class": "kitty",
   "title": "~", "initialClass": "kitty", "pid": 3002, "xwayland": false, "pinned": false,
   "fullscreen": 0, "focusHistoryID": 0},
  {"address": "0x5581a3", "mapped": true, "hidden": false, "at": [1000, 500], "size": [500, 400],
   "workspace": {"id": 1, "name": "1"}, "floating": true, "monitor": 0, "class": "",
   "title": "Calculator", "initialClass": "org.gnome.Calculator", "pid": 3003, "xwayland": false,
   "pinned": false, "fullscreen": false, "focusHistoryID": 2},
  {"address": "0x5581a4", "mapped": true, "hidden": false, "at": [0, 0], "size": [2560, 1440],
   "workspace": {"id": 2, "name": "2"}, "floating": false, "monitor": 0, "class": "firefox",
   "title": "Firefox", "initialClass": "firefox", "pid": 3004, "xwayland": false, "pinned": false,
   "fullscreen": 0, "focusHistoryID": 3},
  {"address": "0x5581a5", "mapped": false, "hidden": false, "at": [0, 0], "size": [2560, 1440],
   "workspace": {"id": 1, "name": "1"}, "floating": true, "monitor": 0, "class": "ghost",
   "title": "", "initialClass": "ghost", "pid": 3005, "xwayland": true, "pinned": false,
   "fullscreen": 0, "focusHistoryID": 4}
])";

constexpr std::string_view kHyprMonitors = R"([
  {"id": 0, "name": "DP-1", "x": 0, "y": 0, "width": 2560, "height": 1440, "refreshRate": 143.99600,
   "activeWorkspace": {"id": 1, "name": "1"}, "specialWorkspace": {"id": 0, "name": ""}, "focused": true}
])";

}  // namespace

TEST(SwayIpc, FocusedWindowOfATree) {
    const auto w = ld::sway::focusedWindow(kSwayTree);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->pid, 2002);
    EXPECT_EQ(w->appId, "firefox");  // XWayland: the X11 class stands in for app_id
    EXPECT_EQ(w->instance, "Navigator");
    EXPECT_EQ(w->frame.x, 1920);
    EXPECT_FALSE(w->floating);
}

TEST(SwayIpc, NoWindowWhenAWorkspaceOrNothingIsFocusedOrTheReplyIsBroken) {
    EXPECT_FALSE(ld::sway::focusedWindow(R"({"type":"root","nodes":[{"type":"workspace","focused":true,"nodes":[]}]})"));
    EXPECT_FALSE(ld::sway::focusedWindow(R"({"type":"root","nodes":[]})"));
    EXPECT_FALSE(ld::sway::focusedWindow(R"({"type":"root","nodes":[)"));
    EXPECT_FALSE(ld::sway::focusedWindow("[]"));
}

TEST(HyprlandIpc, CursorAndActiveWindow) {
    const auto p = ld::hyprland::cursorPosition(R"({"x": 1500, "y": 650})");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->x, 1500);
    EXPECT_EQ(p->y, 650);
    EXPECT_FALSE(ld::hyprland::cursorPosition("{}"));
    EXPECT_FALSE(ld::hyprland::cursorPosition("unknown request"));

    const auto active = ld::hyprland::activeWindow(
        R"({"address":"0x5581a2","at":[1280,0],"size":[1280,1440],"workspace":{"id":1,"name":"1"},)"
        R"("class":"kitty","pid":3002,"floating":false,"fullscreen":0,"focusHistoryID":0})");
    ASSERT_TRUE(active);
    EXPECT_EQ(active->pid, 3002);
    EXPECT_EQ(active->appId, "kitty");
    EXPECT_FALSE(ld::hyprland::activeWindow("{}"));  // nothing focused
}

TEST(HyprlandIpc, ClientsSkipUnmappedWindowsAndFallBackToTheInitialClass) {
    const auto list = ld::hyprland::clients(kHyprClients);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[2].appId, "org.gnome.Calculator");
    EXPECT_TRUE(list[2].floating);
    EXPECT_EQ(list[3].workspace, 2);
    EXPECT_EQ(ld::hyprland::visibleWorkspaces(kHyprMonitors), (std::vector<int>{1}));
}

TEST(HyprlandIpc, WindowUnderTheCursor) {
    const auto list = ld::hyprland::clients(kHyprClients);
    const auto visible = ld::hyprland::visibleWorkspaces(kHyprMonitors);
    const auto at = [&](double x, double y) {
        const auto w = ld::hyprland::windowAt(list, visible, Point{x, y});
        return w ? w->pid : 0;
    };
    EXPECT_EQ(at(100, 100), 3001);
    EXPECT_EQ(at(2000, 100), 3002);
    EXPECT_EQ(at(1100, 600), 3003);  // floating above the tiled one beneath
    EXPECT_EQ(at(1300, 600), 3003);
    EXPECT_EQ(at(3000, 100), 0);     // off every window
    // Workspace 2's fullscreen window covers everything, but it is not shown.
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
