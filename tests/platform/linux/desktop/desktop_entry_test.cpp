// Desktop-entry parsing, the entry index, /proc readings and the order in
// which a window is matched to its application.
#include <tuple>

#include "DesktopTestSupport.h"
#include "platform/linux/desktop/AppResolver.h"
#include "platform/linux/desktop/DesktopEntry.h"
#include "platform/linux/desktop/ProcessInfo.h"

namespace ld = gm::platform::linux_desktop;
using gm::platform::ActivationPolicy;
using gm::testing::TempDir;

const std::string kTextEditor = gm::testing::corpus("desktop_entry_fuzzer/text-editor.desktop");

TEST(DesktopEntryParsing, ReadsTheMainGroupOnlyWithNamesForEachLocale) {
    const auto e = ld::parseDesktopEntry(kTextEditor);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name, "Text Editor");
    EXPECT_EQ(e->icon, "org.gnome.TextEditor");
    EXPECT_EQ(e->exec, "gnome-text-editor %U");  // not the action's Exec
    EXPECT_EQ(e->startupWMClass, "gnome-text-editor");  // spaces around '=' ignored
    EXPECT_EQ(e->type, "Application");
    EXPECT_EQ(e->onlyShowIn, (std::vector<std::string>{"GNOME", "Unity"}));
    EXPECT_FALSE(ld::parseDesktopEntry("[Desktop Action x]\nName=Nope\n"));
    EXPECT_FALSE(ld::parseDesktopEntry(""));
    // The locale fallback chain: lang when lang_COUNTRY is absent; no plain "pt", so unlocalized.
    for (const auto& [locale, name] : {std::pair{"de_AT.UTF-8", "Texteditor"}, {"pt_BR.UTF-8", "Editor de Texto"},
                                       {"pt_PT.UTF-8", "Text Editor"}, {"sr_RS@latin", "Uređivač teksta"},
                                       {"C", "Text Editor"}})
        EXPECT_EQ(e->localizedName(locale), name) << locale;
}

TEST(DesktopEntryParsing, EscapesListsAndExecQuoting) {
    EXPECT_EQ(ld::unescapeDesktopValue(R"(a\sb\tc\\d\q)"), "a b\tc\\d\\q");
    const auto e = ld::parseDesktopEntry("[Desktop Entry]\nNotShowIn=KDE;Semi\\;colon;\n"
                                         "Exec=env GDK_BACKEND=x11 \"/opt/My App/bin/app\" --flag\n");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->notShowIn, (std::vector<std::string>{"KDE", "Semi;colon"}));
    EXPECT_EQ(e->execProgram(), "/opt/My App/bin/app");
    EXPECT_EQ(ld::splitExec(R"(sh -c "echo \"hi\"")"), (std::vector<std::string>{"sh", "-c", "echo \"hi\""}));
}

TEST(DesktopEntryParsing, ShownInMenusHonoursDisplayFlagsAndDesktops) {
    EXPECT_TRUE(ld::parseDesktopEntry(kTextEditor)->shownInMenus("ubuntu:GNOME"));
    EXPECT_FALSE(ld::parseDesktopEntry(kTextEditor)->shownInMenus("KDE"));  // OnlyShowIn excludes it
    const std::tuple<const char*, const char*, bool> rows[] = {  // lines, desktop, shown
        {"Type=Application\nNotShowIn=KDE\n", "KDE", false}, {"Type=Application\nNotShowIn=KDE\n", "", true},
        {"Type=Application\nNoDisplay=true\n", "", false},  {"Type=Link\n", "", false}};
    for (const auto& [lines, desktop, shown] : rows)
        EXPECT_EQ(ld::parseDesktopEntry(std::string("[Desktop Entry]\n") + lines)->shownInMenus(desktop), shown) << lines;
}

TEST(DesktopEntryIndex, IdsComeFromRelativePathsAndEarlierDirectoriesWin) {
    TempDir home, system;
    home.write("applications/org.example.Viewer.desktop", "[Desktop Entry]\nType=Application\nName=Local Viewer\n");
    system.write("applications/org.example.Viewer.desktop", "[Desktop Entry]\nType=Application\nName=System Viewer\n");
    system.write("applications/kde/okular.desktop", "[Desktop Entry]\nType=Application\nName=Okular\n");
    system.write("applications/broken.desktop", "no groups here\n");
    system.write("applications/readme.txt", "[Desktop Entry]\nName=Not an entry\n");
    const ld::DesktopEntryIndex index({home.path(), system.path()});
    std::vector<std::string> names;
    for (const char* id : {"org.example.Viewer", "kde-okular", "broken"})
        names.push_back(index.byId(id) ? index.byId(id)->name : "-");
    EXPECT_EQ(names, (std::vector<std::string>{"Local Viewer", "Okular", "-"}));
    EXPECT_EQ(index.size(), 2u);
}

TEST(DesktopEntryIndex, DataDirectoriesFromTheEnvironment) {
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("XDG_DATA_HOME", "/home/u/.data", 1);
    ::setenv("XDG_DATA_DIRS", "/usr/share:relative/ignored::/opt/share", 1);
    EXPECT_EQ(ld::xdgDataDirs(), (std::vector<std::filesystem::path>{"/home/u/.data", "/usr/share", "/opt/share"}));
    ::unsetenv("XDG_DATA_DIRS");
    ::setenv("XDG_DATA_HOME", "", 1);
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(ld::xdgDataDirs(),
              (std::vector<std::filesystem::path>{"/home/u/.local/share", "/usr/local/share", "/usr/share"}));
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", home.c_str(), 1);
}

TEST(DesktopEntryIndex, LookupsByClassIdAndExecutable) {
    ld::DesktopEntryIndex index;
    const auto add = [&](std::string id, std::string text) {
        auto e = *ld::parseDesktopEntry(text);
        e.id = std::move(id);
        index.add(std::move(e));
    };
    add("org.gnome.TextEditor", std::string(kTextEditor));
    add("firefox", "[Desktop Entry]\nExec=/usr/lib/firefox/firefox %u\n");
    add("code", "[Desktop Entry]\nExec=code --unity-launch %F\n");
    EXPECT_EQ(index.byStartupWMClass("gnome-text-editor")->id, "org.gnome.TextEditor");
    EXPECT_FALSE(index.byStartupWMClass("Gnome-text-editor"));  // exact, as shells compare it
    EXPECT_EQ(index.byIdIgnoringCase("FIREFOX")->id, "firefox");
    EXPECT_EQ(index.byIdIgnoringCase("texteditor")->id, "org.gnome.TextEditor");
    EXPECT_EQ(index.byExecutable("/usr/lib/firefox/firefox")->id, "firefox");
    EXPECT_FALSE(index.byExecutable("/usr/bin/firefox"));  // an absolute Exec names one file only
    EXPECT_EQ(index.byExecutable("/usr/share/code/code")->id, "code");  // a bare name matches any directory
}

TEST(ProcessInfo, FlatpakInfoAndSnapCgroups) {
    EXPECT_EQ(ld::parseFlatpakInfo("[Application]\nname=org.gnome.Calculator\nruntime=runtime/org.gnome.Platform/x86_64/45\n"
                                   "\n[Instance]\ninstance-id=123\nname=not-this\n"),
              "org.gnome.Calculator");
    EXPECT_FALSE(ld::parseFlatpakInfo("[Runtime]\nname=org.gnome.Platform\n"));

    const std::pair<const char*, const char*> cgroups[] = {  // line, snap/app
        {"0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
         "snap.gnome-calculator.gnome-calculator-7d5e9c52-2d4b-4b1e-9a34-0b1f4a5b6c7d.scope\n",
         "gnome-calculator/gnome-calculator"},
        {"12:pids:/user.slice/snap.firefox.firefox.1a2b3c4d.scope\n", "firefox/firefox"},
        {"0::/user.slice/user-1000.slice/session-2.scope\n", ""},
        {"0::/system.slice/mysnap.service\n", ""},  // "snap." not at a component start
    };
    for (const auto& [line, expected] : cgroups) {
        const auto snap = ld::parseSnapCgroup(line);
        EXPECT_EQ(snap ? snap->snap + "/" + snap->app : "", expected) << line;
    }
}

// One process per rule, each also matching every later rule, so that a rule
// applied out of order picks the wrong entry.
TEST(ResolutionOrder, EachRuleWinsOverTheLaterOnes) {
    TempDir data, proc;
    data.write("applications/org.example.Sandboxed.desktop", "[Desktop Entry]\nType=Application\nName=Sandboxed\n");
    data.write("applications/by-wmclass.desktop",
               "[Desktop Entry]\nType=Application\nName=By WM Class\nStartupWMClass=Shared\n");
    data.write("applications/shared.desktop", "[Desktop Entry]\nType=Application\nName=By Id\nExec=tool\n");
    data.write("applications/tool.desktop", "[Desktop Entry]\nType=Application\nName=By Exec\nExec=/opt/tool/bin/tool\n");
    data.write("applications/chat_chat.desktop", "[Desktop Entry]\nType=Application\nName=Chat\n");
    proc.write("10/root/.flatpak-info", "[Application]\nname=org.example.Sandboxed\n");
    proc.write("13/cgroup", "0::/user.slice/snap.chat.chat-0a1b2c3d4e5f.scope\n");
    for (const auto& [pid, exe] :
         {std::pair{"10", "/opt/tool/bin/tool"}, {"11", "/opt/tool/bin/tool (deleted)"}, {"13", "/snap/chat/1/chat"}}) {
        std::filesystem::create_directories(proc.path() / pid);
        std::filesystem::create_symlink(exe, proc.path() / pid / "exe");
    }
    proc.write("14/comm", "nameless\n");
    const ld::AppResolver resolver(ld::DesktopEntryIndex({data.path()}), ld::ProcFs(proc.path()), "C", "GNOME");
    const auto idFor = [&](ld::WindowFacts facts) { return resolver.application(facts).bundleIdentifier.value_or("-"); };

    EXPECT_EQ(idFor({10, "shared", "Shared"}), "org.example.Sandboxed");
    EXPECT_EQ(idFor({13, "shared", "Shared"}), "chat_chat");   // snap
    EXPECT_EQ(idFor({11, "shared", "Shared"}), "by-wmclass");  // StartupWMClass before ids
    EXPECT_EQ(idFor({11, "SHARED", "Other"}), "shared");       // ids ignore case
    EXPECT_EQ(idFor({11, "unknown", "Unknown"}), "tool");      // executable last, even when replaced on disk
    EXPECT_EQ(idFor({99, "unknown", "Unknown"}), "-");         // no such process
    // The entry GNOME Shell or KWin named comes first, when it is installed.
    EXPECT_EQ(resolver.application({10, "shared", "Shared"}, "tool").bundleIdentifier, "tool");
    EXPECT_EQ(resolver.application({10, "shared", "Shared"}, "absent").bundleIdentifier, "org.example.Sandboxed");
    EXPECT_EQ(resolver.match({11, "", "Shared"}).rule, ld::MatchRule::StartupWMClass);
    EXPECT_EQ(resolver.application({10, "", ""}).executablePath, "/opt/tool/bin/tool");
    // A window no entry names goes by its class, else by its command.
    const auto unknown = resolver.application({14, "inst", "Klass"});
    EXPECT_FALSE(unknown.bundleIdentifier);
    EXPECT_EQ(unknown.localizedName, "Klass");
    EXPECT_EQ(unknown.activationPolicy, ActivationPolicy::Accessory);
    EXPECT_EQ(resolver.application({14, "", ""}).localizedName, "nameless");
}
