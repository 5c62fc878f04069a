// The Wayland workspace and screens against fake sway and Hyprland sockets:
// what is asked, how often, and which changes are announced.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "FakeCompositor.h"
#include "TempDir.h"
#include "TestQueue.h"
#include "platform/linux/desktop/WaylandWorkspace.h"

namespace ld = gm::platform::linux_desktop;
using gm::testing::FakeCompositor;
using gm::testing::TempDir;
using gm::testing::TestQueue;
using namespace std::chrono_literals;

namespace {

// Answers requests from a table the test may change while the workspace polls.
class Replies {
public:
    void set(const std::string& request, std::string reply) {
        std::lock_guard lock(mutex_);
        replies_[request] = std::move(reply);
    }
    std::string answer(const std::string& request) {
        std::lock_guard lock(mutex_);
        ++asked_[request];
        const auto it = replies_.find(request);
        return it == replies_.end() ? std::string("unknown request") : it->second;
    }
    int asked(const std::string& request) {
        std::lock_guard lock(mutex_);
        return asked_[request];
    }
    // Waits until `request` was asked `more` more times, so that a change was seen.
    bool waitForMore(const std::string& request, int more) {
        const int target = asked(request) + more;
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (asked(request) < target)
            if (std::chrono::steady_clock::now() > deadline) return false;
            else std::this_thread::sleep_for(2ms);
        return true;
    }

private:
    std::mutex mutex_;
    std::map<std::string, std::string> replies_;
    std::map<std::string, int> asked_;
};

std::shared_ptr<ld::AppResolver> resolver(const TempDir& data) {
    data.write("applications/kitty.desktop", "[Desktop Entry]\nType=Application\nName=kitty\n");
    data.write("applications/firefox.desktop", "[Desktop Entry]\nType=Application\nName=Firefox\n");
    data.write("applications/pavucontrol.desktop",
               "[Desktop Entry]\nType=Application\nName=Volume Control\nNoDisplay=true\n");
    return std::make_shared<ld::AppResolver>(ld::DesktopEntryIndex({data.path()}), ld::ProcFs(data.path() / "proc"),
                                             "C", "");
}

std::string hyprWindow(int pid, const std::string& cls, const std::string& address) {
    return R"({"address":")" + address + R"(","mapped":true,"hidden":false,"at":[0,0],"size":[800,600],)"
           R"("workspace":{"id":1,"name":"1"},"floating":false,"class":")" + cls + R"(","title":"t","pid":)" +
           std::to_string(pid) + R"(,"fullscreen":0,"focusHistoryID":0})";
}

// A sway socket whose reply is chosen by the message type in the request's header.
std::unique_ptr<FakeCompositor> fakeSway(const std::filesystem::path& path, Replies& replies) {
    return std::make_unique<FakeCompositor>(path, gm::testing::readSwayHeader, [&replies](const std::string& header) {
        std::uint32_t type = 0;
        if (header.size() == 14) std::memcpy(&type, header.data() + 10, sizeof type);
        return ld::sway::encodeMessage(type, replies.answer(std::to_string(type)));
    });
}

}  // namespace

TEST(WaylandWorkspace, HyprlandAnnouncesEachChangeOfApplicationOnce) {
    TempDir runtime, data;
    Replies replies;
    replies.set("j/activewindow", hyprWindow(3002, "kitty", "0xa1"));
    const auto path = runtime.path() / "hypr/sig/.socket.sock";
    auto hyprland = std::make_unique<FakeCompositor>(path, gm::testing::readSome,
                                                     [&](const std::string& r) { return replies.answer(r); });
    TestQueue queue;
    ld::WaylandWorkspace::Options options;
    options.socketPath = path.string();
    options.pollInterval = 5ms;
    ld::WaylandWorkspace workspace(ld::DesktopKind::Hyprland, queue, resolver(data), options);

    int seen = 0, cancelledSeen = 0;
    std::optional<std::string> frontAtNotice;
    auto subscription = workspace.observeActivations([&] {
        ++seen;
        const auto app = workspace.frontmostApplication();
        frontAtNotice = app ? app->bundleIdentifier : std::nullopt;
    });
    auto cancelled = workspace.observeActivations([&] { ++cancelledSeen; });
    ASSERT_TRUE(replies.waitForMore("j/activewindow", 3));
    EXPECT_EQ(queue.drain(), 0u) << "where we start is no change";

    // Another window of the same application.
    replies.set("j/activewindow", hyprWindow(3002, "kitty", "0xa2"));
    ASSERT_TRUE(replies.waitForMore("j/activewindow", 3));
    EXPECT_EQ(queue.drain(), 0u);

    replies.set("j/activewindow", hyprWindow(3004, "firefox", "0xb1"));
    ASSERT_TRUE(replies.waitForMore("j/activewindow", 3));
    cancelled.reset();  // after the notice was queued: it must not run any more
    EXPECT_EQ(queue.drain(), 2u);
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(cancelledSeen, 0);
    EXPECT_EQ(frontAtNotice, "firefox");

    // Nothing focused (an empty workspace) is a change too.
    replies.set("j/activewindow", "{}");
    ASSERT_TRUE(replies.waitForMore("j/activewindow", 3));
    queue.drain();
    EXPECT_EQ(seen, 2);
    EXPECT_FALSE(workspace.frontmostApplication());

    // A compositor that stops answering is not "nothing focused".
    replies.set("j/activewindow", hyprWindow(3004, "firefox", "0xb1"));
    ASSERT_TRUE(replies.waitForMore("j/activewindow", 3));
    queue.drain();
    EXPECT_EQ(seen, 3);
    hyprland.reset();
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(queue.drain(), 0u);
    ASSERT_TRUE(workspace.frontmostApplication());
    EXPECT_EQ(workspace.frontmostApplication()->bundleIdentifier, "firefox");
}

TEST(WaylandWorkspace, SwayApplicationsFromOneCachedTree) {
    TempDir runtime, data;
    const std::string tree =
        R"({"type":"root","nodes":[{"type":"output","name":"DP-1","nodes":[{"type":"workspace","nodes":[)"
        R"({"type":"con","layout":"splith","nodes":[)"
        R"({"type":"con","pid":4001,"app_id":"kitty","focused":false,"nodes":[]},)"
        R"({"type":"con","pid":4001,"app_id":"kitty","focused":true,"nodes":[]}]},)"
        R"({"type":"con","pid":4002,"app_id":null,"window_properties":{"class":"firefox","instance":"Navigator"}}],)"
        R"("floating_nodes":[{"type":"floating_con","pid":4003,"app_id":"pavucontrol"}]}]}]})";
    Replies replies;
    replies.set(std::to_string(ld::sway::kGetTree), tree);
    const auto path = runtime.path() / "sway-ipc.sock";
    const auto sway = fakeSway(path, replies);
    TestQueue queue;
    ld::WaylandWorkspace::Options options;
    options.socketPath = path.string();
    options.listLifetime = 1h;
    ld::WaylandWorkspace workspace(ld::DesktopKind::Sway, queue, resolver(data), options);
    const auto getTree = std::to_string(ld::sway::kGetTree);

    const auto apps = workspace.runningApplications();
    ASSERT_EQ(apps.size(), 3u) << "two windows of one process are one application";
    const auto volume = workspace.applicationWithBundleIdentifier("pavucontrol");
    ASSERT_TRUE(volume);
    EXPECT_EQ(volume->activationPolicy, gm::platform::ActivationPolicy::Accessory);
    const auto firefox = workspace.applicationWithProcessIdentifier(4002);
    ASSERT_TRUE(firefox);
    EXPECT_EQ(firefox->bundleIdentifier, "firefox");
    EXPECT_EQ(firefox->activationPolicy, gm::platform::ActivationPolicy::Regular);
    EXPECT_FALSE(workspace.applicationWithProcessIdentifier(4999));
    EXPECT_FALSE(workspace.applicationWithBundleIdentifier("absent"));
    // Answers name the same objects, so callers may compare references.
    EXPECT_EQ(workspace.applicationWithProcessIdentifier(4003), volume);
    EXPECT_EQ(replies.asked(getTree), 1) << "every question above shares one answer";

    const auto front = workspace.frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->processIdentifier, 4001);
    EXPECT_EQ(replies.asked(getTree), 2);

    ld::WaylandWorkspace::Options fresh = options;
    fresh.listLifetime = 0ms;
    ld::WaylandWorkspace uncached(ld::DesktopKind::Sway, queue, resolver(data), fresh);
    uncached.runningApplications();
    uncached.applicationWithProcessIdentifier(4001);
    EXPECT_EQ(replies.asked(getTree), 4);

    std::vector<gm::platform::WindowInfo> windows{{}};
    EXPECT_FALSE(workspace.onScreenWindows(windows));
    EXPECT_TRUE(windows.empty());
    EXPECT_EQ(queue.drain(), 0u);
}

TEST(WaylandScreens, AnswersReusedForTheirLifetime) {
    TempDir runtime;
    Replies replies;
    const auto getOutputs = std::to_string(ld::sway::kGetOutputs);
    replies.set(getOutputs, R"([{"name":"DP-1","active":true,"rect":{"x":0,"y":0,"width":1920,"height":1080},)"
                            R"("current_mode":{"refresh":74973}}])");
    const auto swayPath = runtime.path() / "sway-ipc.sock";
    const auto sway = fakeSway(swayPath, replies);
    const auto hyprPath = runtime.path() / "hypr/sig/.socket.sock";
    replies.set("j/monitors", R"([{"id":1,"x":0,"y":0,"width":3000,"height":2000,"scale":2,"refreshRate":60}])");
    FakeCompositor hyprland(hyprPath, gm::testing::readSome, [&](const std::string& r) { return replies.answer(r); });

    ld::WaylandScreens screens(ld::DesktopKind::Sway, swayPath.string(), 1h);
    std::vector<gm::platform::Screen> out(3);
    screens.screens(out);
    screens.screens(out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_NEAR(out[0].refreshRate, 74.973, 1e-9);
    EXPECT_EQ(replies.asked(getOutputs), 1);

    ld::WaylandScreens uncached(ld::DesktopKind::Sway, swayPath.string(), 0ms);
    uncached.screens(out);
    uncached.screens(out);
    EXPECT_EQ(replies.asked(getOutputs), 3);

    ld::WaylandScreens hypr(ld::DesktopKind::Hyprland, hyprPath.string(), 1h);
    hypr.screens(out);
    hypr.screens(out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].frame.width, 1500);
    EXPECT_EQ(replies.asked("j/monitors"), 1);

    // No compositor: no screens, so the caller's stand-in applies.
    ld::WaylandScreens absent(ld::DesktopKind::Sway, (runtime.path() / "absent.sock").string(), 1h);
    absent.screens(out);
    EXPECT_TRUE(out.empty());
}
