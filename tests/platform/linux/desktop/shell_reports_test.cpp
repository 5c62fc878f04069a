// The reports of the GNOME Shell extension and the KWin script, as a hostile
// or broken sender might write them, and the switches that decide whether
// they are asked for.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/linux/desktop/ShellReports.h"
#include "platform/linux/desktop/ShellWindows.h"

namespace ld = gm::platform::linux_desktop;

TEST(ShellReports, WindowsOnlyWithAProcessThatFitsAndANameOfSomeKind) {
    struct Row {
        const char* json;
        int pid;  // 0: no window
        double width;
    };
    const Row rows[] = {
        {R"({"pid":4242,"appId":"org.gnome.TextEditor","frame":{"x":0,"y":32,"width":800,"height":600}})", 4242, 800},
        {R"({"pid":4242.0,"desktopId":"kate","frame":{"x":0,"y":0,"width":"wide","height":1}})", 4242, 0},
        {R"({"pid":2147483647,"instance":"gjs-console"})", 2147483647, 0},
        {R"({"pid":2147483648,"appId":"a"})", 0, 0},  // past a process id
        {R"({"pid":1e300,"appId":"a"})", 0, 0},
        {R"({"pid":42.5,"appId":"a"})", 0, 0},
        {R"({"pid":-7,"appId":"a"})", 0, 0},
        {R"({"pid":"42","appId":"a"})", 0, 0},
        {R"({"pid":42,"appId":7})", 0, 0},  // nothing names the application
        {"null", 0, 0}, {"[1,2]", 0, 0}, {R"({"pid":42,)", 0, 0},  // not an object, or cut short
    };
    for (const auto& row : rows) {
        const auto w = ld::shell::parseWindow(row.json);
        EXPECT_EQ(w ? w->pid : 0, row.pid) << row.json;
        EXPECT_EQ(w ? w->frame.width : 0, row.width) << row.json;
    }
    const auto list = ld::shell::parseWindows(R"([{"pid":1,"appId":"a","desktopId":"org.a"},{"pid":0},null,{"pid":2,"appId":"b"}])");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].desktopId, "org.a");
    EXPECT_EQ(list[1].appId, "b");
    EXPECT_TRUE(ld::shell::parseWindows(R"({"pid":1,"appId":"a"})").empty());
}

TEST(ShellReports, TheUsersSwitchesAndTheDesktop) {
    const std::pair<const char*, bool> kwinrc[] = {
        {"[Plugins]\nglidemarkEnabled=false\n", true},
        {"[Plugins]\r\n glidemarkEnabled = False\r\n", true},
        {"[Plugins]\nglidemarkEnabled=false\nglidemarkEnabled=true\n", false},  // the last line wins
        {"[Plugins]\nglidemarkEnabledByDefault=false\n", false},
        {"[Other]\nglidemarkEnabled=false\n[Plugins]\n", false},
        {"", false},
    };
    for (const auto& [text, off] : kwinrc) EXPECT_EQ(ld::shell::kwinScriptSwitchedOff(text), off) << text;

    const std::pair<const char*, ld::ShellKind> desktops[] = {
        {"GNOME", ld::ShellKind::Gnome}, {"ubuntu:GNOME", ld::ShellKind::Gnome}, {"KDE", ld::ShellKind::KWin},
        {"sway", ld::ShellKind::None},   {"GNOMEISH", ld::ShellKind::None},      {"", ld::ShellKind::None},
    };
    for (const auto& [value, kind] : desktops)
        EXPECT_EQ(ld::detectShell([&](const char* name) { return std::string(name) == "XDG_CURRENT_DESKTOP" ? value : nullptr; }),
                  kind)
            << value;
}
