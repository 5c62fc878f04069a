// The X11 side against a private Xvfb: windows made here stand in for
// applications (there is no window manager, so the test sets WM_STATE and
// _NET_ACTIVE_WINDOW itself), the pointer is warped and keys are typed with XTEST.
#include <unistd.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>

#include "DesktopTestSupport.h"
#include "XvfbServer.h"
#include "platform/linux/desktop/RandrScreens.h"
#include "platform/linux/desktop/X11Connection.h"
#include "platform/linux/desktop/X11Modifiers.h"
#include "platform/linux/desktop/X11Workspace.h"

namespace ld = gm::platform::linux_desktop;
using gm::platform::ActivationPolicy;
using gm::platform::AppRef;
using gm::platform::EventRef;
using gm::testing::TempDir;
using gm::testing::TestQueue;
using gm::testing::XvfbServer;
using namespace std::chrono_literals;

namespace {

xcb_atom_t intern(xcb_connection_t* c, const char* name) {
    ld::XcbReply<xcb_intern_atom_reply_t> r{
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr)};
    return r ? r->atom : XCB_NONE;
}

void sync(xcb_connection_t* c) { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }

// One server for all the tests; null, with the reason in `whyNoServer`, when it cannot start.
std::string whyNoServer;
const std::unique_ptr<XvfbServer>& server() {
    static const auto s = XvfbServer::start(whyNoServer);
    return s;
}

class X11Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server()) GTEST_SKIP() << whyNoServer;
        connection_ = ld::X11Connection::open(server()->display().c_str());
        ASSERT_TRUE(connection_);
        app_ = xcb_connect(server()->display().c_str(), nullptr);
        ASSERT_FALSE(xcb_connection_has_error(app_));
        root_ = xcb_setup_roots_iterator(xcb_get_setup(app_)).data->root;

        data_.write("applications/org.gnome.TextEditor.desktop",
                    "[Desktop Entry]\nType=Application\nName=Text Editor\nIcon=org.gnome.TextEditor\n"
                    "StartupWMClass=gnome-text-editor\nExec=gnome-text-editor\n");
        data_.write("applications/tool.desktop", "[Desktop Entry]\nType=Application\nName=Tool\nExec=/opt/tool/bin/tool\n");
        for (const char* pid : {"5001", "5002", "6002"}) std::filesystem::create_directories(proc_.path() / pid);
        std::filesystem::create_symlink("/opt/tool/bin/tool", proc_.path() / "6002/exe");
        resolver_ = std::make_shared<ld::AppResolver>(ld::DesktopEntryIndex({data_.path()}), ld::ProcFs(proc_.path()),
                                                      "C", "GNOME");
    }

    void TearDown() override {
        workspace_.reset();
        if (app_) {
            // Leave the server as we found it for the next test: the test
            // client's windows go with its connection.
            xcb_delete_property(app_, root_, intern(app_, "_NET_ACTIVE_WINDOW"));
            sync(app_);
            xcb_disconnect(app_);
        }
    }

    ld::X11Workspace& workspace(ld::X11Workspace::Options options = {.useXRes = false}) {
        workspace_ = std::make_unique<ld::X11Workspace>(*connection_, queue_, resolver_, options);
        return *workspace_;
    }

    // A top-level window as an application would make it, mapped.
    xcb_window_t window(std::int16_t x, std::int16_t y, std::uint16_t w, std::uint16_t h, const std::string& instance,
                        const std::string& cls, std::optional<std::uint32_t> pid, bool managed = true,
                        xcb_window_t parent = 0) {
        const auto id = xcb_generate_id(app_);
        xcb_create_window(app_, XCB_COPY_FROM_PARENT, id, parent ? parent : root_, x, y, w, h, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        if (!instance.empty() || !cls.empty()) setString(id, XCB_ATOM_WM_CLASS, instance + '\0' + cls + '\0');
        const auto pidAtom = intern(app_, "_NET_WM_PID");
        if (pid) xcb_change_property(app_, XCB_PROP_MODE_REPLACE, id, pidAtom, XCB_ATOM_CARDINAL, 32, 1, &*pid);
        if (managed) manage(id);
        xcb_map_window(app_, id);
        sync(app_);
        return id;
    }

    void setString(xcb_window_t w, xcb_atom_t property, const std::string& value) {
        xcb_change_property(app_, XCB_PROP_MODE_REPLACE, w, property, XCB_ATOM_STRING, 8,
                            static_cast<std::uint32_t>(value.size()), value.data());
    }
    // WM_STATE, as a window manager sets it on the windows it manages.
    void manage(xcb_window_t w) {
        const auto state = intern(app_, "WM_STATE");
        const std::uint32_t normal[2] = {1, XCB_NONE};
        xcb_change_property(app_, XCB_PROP_MODE_REPLACE, w, state, state, 32, 2, normal);
    }

    void setActive(xcb_window_t w) {
        xcb_change_property(app_, XCB_PROP_MODE_REPLACE, root_, intern(app_, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 32,
                            1, &w);
        sync(app_);
    }

    void warp(int x, int y) {
        xcb_warp_pointer(app_, XCB_NONE, root_, 0, 0, 0, 0, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y));
        sync(app_);
    }

    // Everything the server has done for the test client has reached our
    // connection once a round trip of ours comes back after it.
    void settle() {
        sync(app_);
        sync(connection_->raw());
        connection_->dispatchPending();
        queue_.drain();
    }

    std::unique_ptr<ld::X11Connection> connection_;
    xcb_connection_t* app_ = nullptr;
    xcb_window_t root_ = 0;
    TempDir data_, proc_;
    std::shared_ptr<ld::AppResolver> resolver_;
    TestQueue queue_;
    std::unique_ptr<ld::X11Workspace> workspace_;
};

}  // namespace

TEST_F(X11Desktop, ApplicationUnderThePointer) {
    auto& ws = workspace();
    const auto editor = window(0, 0, 600, 800, "gnome-text-editor", "Gnome-text-editor", 5001);
    window(700, 0, 580, 800, "viewer", "Viewer", 5002);
    // A frame as a window manager makes it: the client sits inside.
    const auto frame = window(300, 600, 600, 200, "", "", std::nullopt, false);
    window(10, 20, 580, 170, "unknown", "Unknown", 6002, true, frame);

    const auto name = [](const AppRef& app) {
        return app ? app->bundleIdentifier.value_or("-") + "/" + app->localizedName : std::string();
    };
    const std::tuple<int, int, gm::platform::ProcessID, std::string> rows[] = {  // where, process, entry/name
        {100, 100, 5001, "org.gnome.TextEditor/Text Editor"},
        {800, 100, 5002, "-/Viewer"},   // no desktop entry
        {500, 700, 6002, "tool/Tool"},  // the frame above the editor: by executable, from the client inside
        {650, 100, 0, ""},              // the gap between windows: the root
    };
    for (const auto& [x, y, pid, app] : rows) {
        warp(x, y);
        const auto t = ws.pointerTarget();
        EXPECT_EQ(std::tuple(t.location.x, t.location.y, t.pid, name(t.app)), std::tuple(double(x), double(y), pid, app));
    }
    EXPECT_EQ(ws.pointerTarget().topLevel, XCB_WINDOW_NONE);
    warp(500, 700);
    EXPECT_EQ(ws.pointerTarget().topLevel, frame);
    warp(50, 50);
    const auto first = ws.pointerTarget().app;
    warp(60, 60);
    EXPECT_EQ(ws.pointerTarget().app, first);  // the same object from the cache

    // Closing a window drops it from the cache.
    ASSERT_TRUE(ws.cachedApplication(editor));
    xcb_destroy_window(app_, editor);
    settle();
    EXPECT_FALSE(ws.cachedApplication(editor));
    EXPECT_FALSE(ws.pointerTarget().app);

    // Process ids come from XRes before the window property: XRes names the
    // connection's real owner, this test process.
    warp(800, 100);
    EXPECT_EQ(workspace({.useXRes = true}).pointerTarget().pid, ::getpid());
}

TEST_F(X11Desktop, AWindowWithoutApplicationIsRetriedAfterItsLifetime) {
    const auto bare = window(0, 0, 400, 400, "", "", std::nullopt, /*managed=*/false);
    warp(10, 10);
    ld::X11Workspace remembering(*connection_, queue_, resolver_, {.useXRes = false, .negativeLifetime = 1h});
    ld::X11Workspace retrying(*connection_, queue_, resolver_, {.useXRes = false, .negativeLifetime = 0ms});
    EXPECT_FALSE(remembering.pointerTarget().app);
    EXPECT_FALSE(retrying.pointerTarget().app);
    // It becomes an application window, as when a window manager adopts it.
    setString(bare, XCB_ATOM_WM_CLASS, std::string("viewer") + '\0' + "Viewer" + '\0');
    manage(bare);
    sync(app_);
    EXPECT_FALSE(remembering.pointerTarget().app);
    ASSERT_TRUE(retrying.pointerTarget().app);
    EXPECT_EQ(retrying.pointerTarget().app->localizedName, "Viewer");
}

TEST_F(X11Desktop, FrontmostApplicationAndItsNotifications) {
    const auto editor = window(0, 0, 400, 400, "gnome-text-editor", "Gnome-text-editor", 5001);
    const auto editor2 = window(0, 400, 400, 400, "gnome-text-editor", "Gnome-text-editor", 5001);
    const auto viewer = window(500, 0, 400, 400, "viewer", "Viewer", 5002);
    setActive(editor);
    auto& ws = workspace();
    ASSERT_TRUE(ws.frontmostApplication());
    EXPECT_EQ(ws.frontmostApplication()->bundleIdentifier, "org.gnome.TextEditor");

    int notified = 0;
    auto subscription = ws.observeActivations([&] { ++notified; });
    const auto activate = [&](xcb_window_t w) {
        setActive(w);
        settle();
        return notified;
    };
    EXPECT_EQ(activate(viewer), 1);
    EXPECT_EQ(ws.frontmostApplication()->processIdentifier, 5002);
    EXPECT_EQ(activate(editor), 2);
    EXPECT_EQ(activate(editor2), 2);  // another window of the same application

    subscription.reset();
    EXPECT_EQ(activate(viewer), 2);
    EXPECT_EQ(ws.frontmostApplication()->processIdentifier, 5002);

    // Read on the connection's own thread, activations still arrive on the queue.
    std::atomic<int> threaded{0};
    subscription = ws.observeActivations([&] { ++threaded; });
    connection_->startThread();
    setActive(editor);
    EXPECT_TRUE(queue_.drainUntil([&] { return threaded.load() == 1; }));
    warp(600, 10);
    EXPECT_EQ(ws.pointerTarget().pid, 5002);  // queries from this thread while the other one reads events
    connection_->stopThread();
    EXPECT_EQ(ws.frontmostApplication()->processIdentifier, 5001);
}

TEST_F(X11Desktop, RunningApplicationsForThePicker) {
    window(0, 0, 100, 100, "gnome-text-editor", "Gnome-text-editor", 5001);
    window(100, 0, 100, 100, "gnome-text-editor", "Gnome-text-editor", 5001);
    const auto named = window(300, 0, 100, 100, "viewer", "Viewer", 5002);
    window(400, 0, 100, 100, "popup", "Popup", 5001, /*managed=*/false);  // no WM_STATE: not an application window
    const std::string title = "Holiday photos";
    setString(named, XCB_ATOM_WM_NAME, title);
    sync(app_);
    auto& ws = workspace();

    const auto apps = ws.runningApplications();
    ASSERT_EQ(apps.size(), 2u);
    std::map<std::string, AppRef> byName;
    for (const auto& a : apps) byName[a->localizedName] = a;
    ASSERT_TRUE(byName.count("Text Editor"));
    EXPECT_EQ(byName["Text Editor"]->activationPolicy, ActivationPolicy::Regular);
    EXPECT_EQ(byName["Viewer"]->activationPolicy, ActivationPolicy::Accessory);  // no desktop entry
    const auto row = resolver_->displayForBundleIdentifier(*byName["Text Editor"]->bundleIdentifier);
    EXPECT_EQ(row.icon, "org.gnome.TextEditor");
    EXPECT_EQ(row.name, "Text Editor");
    EXPECT_EQ(resolver_->displayForBundleIdentifier("org.example.Uninstalled").name, "org.example.Uninstalled");

    EXPECT_EQ(ws.applicationWithBundleIdentifier("org.gnome.TextEditor"), byName["Text Editor"]);
    EXPECT_FALSE(ws.applicationWithBundleIdentifier("org.example.Absent"));
    EXPECT_EQ(ws.applicationWithProcessIdentifier(5002), byName["Viewer"]);
    EXPECT_FALSE(ws.applicationWithProcessIdentifier(7777));  // no such process

    std::vector<gm::platform::WindowInfo> onScreen;
    ASSERT_TRUE(ws.onScreenWindows(onScreen));
    EXPECT_EQ(onScreen.size(), 3u);
    EXPECT_TRUE(std::any_of(onScreen.begin(), onScreen.end(), [&](const auto& w) { return w.name == title; }));
}

TEST_F(X11Desktop, ModifierKeysBecomeFlagsChangedEvents) {
    ld::X11Modifiers modifiers(*connection_);
    ASSERT_TRUE(modifiers.available());
    std::vector<EventRef> events;
    modifiers.setCallback([&](const EventRef& e) { events.push_back(e); });

    // Key codes of the server's keymap for the symbols we type.
    const auto* setup = xcb_get_setup(app_);
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    ld::XcbReply<xcb_get_keyboard_mapping_reply_t> map{
        xcb_get_keyboard_mapping_reply(app_, xcb_get_keyboard_mapping(app_, setup->min_keycode, count), nullptr)};
    ASSERT_TRUE(map);
    const auto keycodeOf = [&](std::uint32_t keysym) -> std::uint8_t {
        const auto* syms = xcb_get_keyboard_mapping_keysyms(map.get());
        for (int i = 0; i < count; ++i)
            if (syms[i * map->keysyms_per_keycode] == keysym) return static_cast<std::uint8_t>(setup->min_keycode + i);
        return 0;
    };
    const auto shiftL = keycodeOf(0xffe1), superL = keycodeOf(0xffeb), ctrlR = keycodeOf(0xffe4), a = keycodeOf(0x61);
    ASSERT_TRUE(shiftL && superL && ctrlR && a);
    using Key = std::pair<std::uint8_t, std::uint8_t>;  // press or release, key code
    for (const auto& [type, code] : {Key{XCB_KEY_PRESS, shiftL}, {XCB_KEY_PRESS, a}, {XCB_KEY_RELEASE, a},
                                     {XCB_KEY_PRESS, superL}, {XCB_KEY_RELEASE, shiftL}, {XCB_KEY_PRESS, ctrlR},
                                     {XCB_KEY_RELEASE, ctrlR}, {XCB_KEY_RELEASE, superL}})
        xcb_test_fake_input(app_, type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync(app_);
    for (int i = 0; i < 200 && events.size() < 6; ++i) connection_->waitAndDispatch(10);

    namespace flag = gm::platform::flag;
    gm::testing::expectFlagsChanged(events, {{56, flag::shift}, {55, flag::shift | flag::command}, {56, flag::command},
                                             {62, flag::command | flag::control}, {62, flag::command}, {55, 0}});
    EXPECT_EQ(modifiers.flags(), 0u);
}

TEST_F(X11Desktop, ScreensCoverTheRootAndFollowALayoutChange) {
    ld::RandrScreens randr(*connection_);
    std::vector<gm::platform::Screen> screens(3);
    randr.screens(screens);
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(gm::testing::box(screens[0].frame), (std::array<double, 4>{0, 0, 1280, 800}));
    EXPECT_GT(screens[0].refreshRate, 0);
    EXPECT_TRUE(screens[0].displayID);  // from a CRTC, not the bare root

    // Switch the one output to a 1024x768 mode with real timings, as a
    // display settings panel would, from another client.
    ld::XcbReply<xcb_randr_get_screen_resources_current_reply_t> res{
        xcb_randr_get_screen_resources_current_reply(app_, xcb_randr_get_screen_resources_current(app_, root_), nullptr)};
    ASSERT_TRUE(res);
    ASSERT_TRUE(xcb_randr_get_screen_resources_current_crtcs_length(res.get()) > 0 &&
                xcb_randr_get_screen_resources_current_outputs_length(res.get()) > 0);
    const auto crtc = xcb_randr_get_screen_resources_current_crtcs(res.get())[0];
    auto output = xcb_randr_get_screen_resources_current_outputs(res.get())[0];
    ld::XcbReply<xcb_randr_get_crtc_info_reply_t> before{
        xcb_randr_get_crtc_info_reply(app_, xcb_randr_get_crtc_info(app_, crtc, res->config_timestamp), nullptr)};
    ASSERT_TRUE(before);
    // id, width, height, dot clock, hsync start and end, htotal, hskew, vsync start and end, vtotal, name length, flags
    const xcb_randr_mode_info_t info{0, 1024, 768, 65000000, 0, 0, 1344, 0, 0, 0, 806, 8, 0};
    ld::XcbReply<xcb_randr_create_mode_reply_t> mode{
        xcb_randr_create_mode_reply(app_, xcb_randr_create_mode(app_, root_, info, 8, "1024x768"), nullptr)};
    ASSERT_TRUE(mode);
    xcb_randr_add_output_mode(app_, output, mode->mode);
    const auto setMode = [&](xcb_randr_mode_t m) {
        std::free(xcb_randr_set_crtc_config_reply(
            app_, xcb_randr_set_crtc_config(app_, crtc, XCB_CURRENT_TIME, XCB_CURRENT_TIME, 0, 0, m,
                                         XCB_RANDR_ROTATION_ROTATE_0, 1, &output),
            nullptr));
    };
    setMode(mode->mode);
    for (int i = 0; i < 200; ++i) {
        connection_->waitAndDispatch(10);
        randr.screens(screens);
        if (screens.size() == 1 && screens[0].frame.width == 1024) break;
    }
    setMode(before->mode);  // back to the server's own mode for the other tests
    sync(app_);
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(gm::testing::box(screens[0].frame), (std::array<double, 4>{0, 0, 1024, 768}));
    EXPECT_NEAR(screens[0].refreshRate, 60.004, 0.001);  // 65 MHz / (1344 x 806)
}
