// The X11 side against a private Xvfb: windows made here stand in for
// applications (there is no window manager, so the test sets WM_STATE and
// _NET_ACTIVE_WINDOW itself), the pointer is warped and keys are typed with XTEST.
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <cstdlib>
#include <filesystem>
#include <vector>

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

namespace {

xcb_atom_t intern(xcb_connection_t* c, const char* name) {
    ld::XcbReply<xcb_intern_atom_reply_t> r{
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr)};
    return r ? r->atom : XCB_NONE;
}

void sync(xcb_connection_t* c) { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }

// One server for all the tests; null, with the reason, when it cannot start.
const XvfbServer* server(std::string* whyNot = nullptr) {
    static std::string reason;
    static const auto s = XvfbServer::start(reason);
    if (whyNot) *whyNot = reason;
    return s.get();
}

class X11Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string whyNot; !server(&whyNot)) GTEST_SKIP() << whyNot;
        connection_ = ld::X11Connection::open(server()->display().c_str());
        ASSERT_TRUE(connection_);
        app_ = xcb_connect(server()->display().c_str(), nullptr);
        ASSERT_FALSE(xcb_connection_has_error(app_));
        root_ = xcb_setup_roots_iterator(xcb_get_setup(app_)).data->root;

        data_.write("applications/org.gnome.TextEditor.desktop",
                    "[Desktop Entry]\nType=Application\nName=Text Editor\nIcon=org.gnome.TextEditor\n"
                    "StartupWMClass=gnome-text-editor\nExec=gnome-text-editor\n");
        data_.write("applications/helper.desktop",
                    "[Desktop Entry]\nType=Application\nName=Helper\nNoDisplay=true\nStartupWMClass=helper\n");
        data_.write("applications/tool.desktop", "[Desktop Entry]\nType=Application\nName=Tool\nExec=/opt/tool/bin/tool\n");
        std::filesystem::create_directories(proc_.path() / "6002");
        std::filesystem::create_symlink("/opt/tool/bin/tool", proc_.path() / "6002/exe");
        for (const char* pid : {"5001", "5002", "5003"}) std::filesystem::create_directories(proc_.path() / pid);
        // The entries come from a private XDG_DATA_HOME, as they would for a user.
        ::setenv("XDG_DATA_HOME", data_.path().c_str(), 1);
        ::setenv("XDG_DATA_DIRS", (data_.path() / "none").c_str(), 1);
        resolver_ = std::make_shared<ld::AppResolver>(ld::DesktopEntryIndex::fromEnvironment(),
                                                      ld::ProcFs(proc_.path()), "C", "GNOME");
    }

    void TearDown() override {
        workspace_.reset();
        if (app_) {
            // Leave the server as we found it for the next test.
            for (const auto w : windows_) xcb_destroy_window(app_, w);
            xcb_delete_property(app_, root_, intern(app_, "_NET_ACTIVE_WINDOW"));
            sync(app_);
            xcb_disconnect(app_);
        }
    }

    ld::X11Workspace& workspace(bool useXRes = false) {
        ld::X11Workspace::Options options;
        options.useXRes = useXRes;
        workspace_ = std::make_unique<ld::X11Workspace>(*connection_, queue_, resolver_, options);
        return *workspace_;
    }

    // A top-level window as an application would make it, mapped.
    xcb_window_t window(int x, int y, int w, int h, const std::string& instance, const std::string& cls,
                        std::optional<std::uint32_t> pid, bool managed = true, xcb_window_t parent = 0) {
        const auto id = xcb_generate_id(app_);
        xcb_create_window(app_, XCB_COPY_FROM_PARENT, id, parent ? parent : root_, static_cast<std::int16_t>(x),
                          static_cast<std::int16_t>(y), static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        if (!instance.empty() || !cls.empty()) setString(id, XCB_ATOM_WM_CLASS, instance + '\0' + cls + '\0');
        if (pid)
            xcb_change_property(app_, XCB_PROP_MODE_REPLACE, id, intern(app_, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1,
                                &*pid);
        if (managed) manage(id);
        xcb_map_window(app_, id);
        sync(app_);
        if (!parent) windows_.push_back(id);
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
    std::vector<xcb_window_t> windows_;
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

    warp(100, 100);
    auto t = ws.pointerTarget();
    EXPECT_EQ(t.location.x, 100);
    EXPECT_EQ(t.location.y, 100);
    ASSERT_TRUE(t.app);
    EXPECT_EQ(t.pid, 5001);
    EXPECT_EQ(t.app->bundleIdentifier, "org.gnome.TextEditor");
    EXPECT_EQ(t.app->localizedName, "Text Editor");
    const auto first = t.app;

    warp(800, 100);
    t = ws.pointerTarget();
    ASSERT_TRUE(t.app);
    EXPECT_EQ(t.pid, 5002);
    EXPECT_FALSE(t.app->bundleIdentifier);
    EXPECT_EQ(t.app->localizedName, "Viewer");

    warp(500, 700);  // over the frame, which is stacked above the editor
    t = ws.pointerTarget();
    ASSERT_TRUE(t.app);
    EXPECT_EQ(t.topLevel, frame);
    EXPECT_EQ(t.app->bundleIdentifier, "tool");  // by executable, from the client inside

    warp(650, 100);  // the gap between windows: the root
    EXPECT_FALSE(ws.pointerTarget().app);

    warp(50, 50);
    EXPECT_EQ(ws.pointerTarget().app, first);  // the same object from the cache

    // Closing a window drops it from the cache.
    ASSERT_TRUE(ws.cachedApplication(editor));
    xcb_destroy_window(app_, editor);
    windows_.erase(windows_.begin());
    settle();
    EXPECT_FALSE(ws.cachedApplication(editor));
    EXPECT_FALSE(ws.pointerTarget().app);
}

TEST_F(X11Desktop, AWindowWithoutApplicationIsRetriedAfterItsLifetime) {
    const auto bare = window(0, 0, 400, 400, "", "", std::nullopt, /*managed=*/false);
    warp(10, 10);
    ld::X11Workspace::Options options;
    options.useXRes = false;
    options.negativeLifetime = std::chrono::hours(1);
    ld::X11Workspace remembering(*connection_, queue_, resolver_, options);
    options.negativeLifetime = std::chrono::milliseconds(0);
    ld::X11Workspace retrying(*connection_, queue_, resolver_, options);
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

TEST_F(X11Desktop, ProcessIdFromXResBeforeTheWindowProperty) {
    window(0, 0, 400, 400, "viewer", "Viewer", 5002);
    warp(10, 10);
    EXPECT_EQ(workspace(/*useXRes=*/false).pointerTarget().pid, 5002);
    // XRes names the connection's real owner: this test process.
    EXPECT_EQ(workspace(/*useXRes=*/true).pointerTarget().pid, ::getpid());
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
    setActive(viewer);
    settle();
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(ws.frontmostApplication()->processIdentifier, 5002);

    setActive(editor);
    settle();
    setActive(editor2);  // another window of the same application
    settle();
    EXPECT_EQ(notified, 2);

    subscription.reset();
    setActive(viewer);
    settle();
    EXPECT_EQ(notified, 2);
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
    window(200, 0, 100, 100, "helper", "Helper", 5003);
    const auto named = window(300, 0, 100, 100, "viewer", "Viewer", 5002);
    window(400, 0, 100, 100, "popup", "Popup", 5001, /*managed=*/false);  // no WM_STATE: not an application window
    const std::string title = "Holiday photos";
    setString(named, XCB_ATOM_WM_NAME, title);
    sync(app_);
    auto& ws = workspace();

    const auto apps = ws.runningApplications();
    ASSERT_EQ(apps.size(), 3u);
    std::map<std::string, AppRef> byName;
    for (const auto& a : apps) byName[a->localizedName] = a;
    ASSERT_TRUE(byName.count("Text Editor"));
    EXPECT_EQ(byName["Text Editor"]->activationPolicy, ActivationPolicy::Regular);
    EXPECT_EQ(byName["Helper"]->activationPolicy, ActivationPolicy::Accessory);  // NoDisplay
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
    EXPECT_EQ(onScreen.size(), 4u);
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
    const auto key = [&](std::uint8_t type, std::uint8_t code) {
        xcb_test_fake_input(app_, type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    };
    key(XCB_KEY_PRESS, shiftL);
    key(XCB_KEY_PRESS, a);
    key(XCB_KEY_RELEASE, a);
    key(XCB_KEY_PRESS, superL);
    key(XCB_KEY_RELEASE, shiftL);
    key(XCB_KEY_PRESS, ctrlR);
    key(XCB_KEY_RELEASE, ctrlR);
    key(XCB_KEY_RELEASE, superL);
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
    auto* c = app_;
    ld::XcbReply<xcb_randr_get_screen_resources_current_reply_t> res{
        xcb_randr_get_screen_resources_current_reply(c, xcb_randr_get_screen_resources_current(c, root_), nullptr)};
    ASSERT_TRUE(res);
    ASSERT_GT(xcb_randr_get_screen_resources_current_crtcs_length(res.get()), 0);
    ASSERT_GT(xcb_randr_get_screen_resources_current_outputs_length(res.get()), 0);
    const auto crtc = xcb_randr_get_screen_resources_current_crtcs(res.get())[0];
    auto output = xcb_randr_get_screen_resources_current_outputs(res.get())[0];
    ld::XcbReply<xcb_randr_get_crtc_info_reply_t> before{
        xcb_randr_get_crtc_info_reply(c, xcb_randr_get_crtc_info(c, crtc, res->config_timestamp), nullptr)};
    ASSERT_TRUE(before);
    xcb_randr_mode_info_t info{};
    info.width = 1024;
    info.height = 768;
    info.dot_clock = 65000000;
    info.htotal = 1344;
    info.vtotal = 806;
    info.name_len = 8;
    ld::XcbReply<xcb_randr_create_mode_reply_t> mode{
        xcb_randr_create_mode_reply(c, xcb_randr_create_mode(c, root_, info, 8, "1024x768"), nullptr)};
    ASSERT_TRUE(mode);
    xcb_randr_add_output_mode(c, output, mode->mode);
    const auto setMode = [&](xcb_randr_mode_t m) {
        std::free(xcb_randr_set_crtc_config_reply(
            c, xcb_randr_set_crtc_config(c, crtc, XCB_CURRENT_TIME, XCB_CURRENT_TIME, 0, 0, m,
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
    sync(c);
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].frame.width, 1024);
    EXPECT_EQ(screens[0].frame.height, 768);
    EXPECT_NEAR(screens[0].refreshRate, 60.004, 0.001);  // 65 MHz / (1344 x 806)
}
