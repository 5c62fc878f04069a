// The Wayland workspace, screens and pointer targets against fake sway and
// Hyprland sockets that answer with recorded replies: what is asked, how
// often, and which changes are announced.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "DesktopTestSupport.h"
#include "platform/Log.h"
#include "platform/linux/desktop/PointerTargets.h"
#include "platform/linux/desktop/WaylandWorkspace.h"

namespace ld = gm::platform::linux_desktop;
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
        ++total_;
        const auto it = replies_.find(request);
        return it == replies_.end() ? std::string("unknown request") : it->second;
    }
    int asked(const std::string& request) {
        std::lock_guard lock(mutex_);
        return asked_[request];
    }
    int asked() {
        std::lock_guard lock(mutex_);
        return total_;
    }
    // Waits until `request` was asked `more` more times, so that a change was seen.
    bool waitForMore(const std::string& request, int more) {
        const int target = asked(request) + more;
        return gm::testing::waitFor([&] { return asked(request) >= target; }, 5s);
    }

private:
    std::mutex mutex_;
    std::map<std::string, std::string> replies_;
    std::map<std::string, int> asked_;
    int total_ = 0;
};

// A compositor's IPC socket: answers each connection's request from `replies`
// and closes it. Hyprland's requests are plain text; sway's are framed
// messages, answered by their type.
class FakeCompositor {
public:
    FakeCompositor(const std::filesystem::path& path, Replies& replies, bool sway = false) {
        std::filesystem::create_directories(path.parent_path());
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(listener_, 8), 0);
        thread_ = std::thread([this, &replies, sway] {
            for (int fd; (fd = ::accept(listener_, nullptr, nullptr)) >= 0; ::close(fd)) {
                const auto answer = sway ? swayAnswer(fd, replies) : replies.answer(readSome(fd));
                [[maybe_unused]] const auto n = ::write(fd, answer.data(), answer.size());
            }
        });
    }
    ~FakeCompositor() {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }

private:
    static std::string readSome(int fd) {
        char buffer[256];
        const auto n = ::read(fd, buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }
    // The type from the 14-byte header (sway gets no payload with our requests).
    static std::string swayAnswer(int fd, Replies& replies) {
        char header[14];
        std::size_t got = 0;
        for (ssize_t n; got < sizeof header && (n = ::read(fd, header + got, sizeof header - got)) > 0;)
            got += static_cast<std::size_t>(n);
        std::uint32_t type = 0;
        if (got == sizeof header) std::memcpy(&type, header + 10, sizeof type);
        return ld::sway::encodeMessage(type, replies.answer(std::to_string(type)));
    }

    int listener_ = -1;
    std::thread thread_;
};

std::shared_ptr<ld::AppResolver> resolver(const TempDir& data) {
    data.write("applications/kitty.desktop", "[Desktop Entry]\nType=Application\nName=kitty\nIcon=kitty\n");
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

}  // namespace

TEST(WaylandWorkspace, HyprlandAnnouncesEachChangeOfApplicationOnce) {
    TempDir runtime, data;
    Replies replies;
    replies.set("j/activewindow", hyprWindow(3002, "kitty", "0xa1"));
    const auto path = runtime.path() / "hypr/sig/.socket.sock";
    auto hyprland = std::make_unique<FakeCompositor>(path, replies);
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
    // The notices queued once the workspace has seen `reply`.
    const auto after = [&](const std::string& reply) {
        replies.set("j/activewindow", reply);
        EXPECT_TRUE(replies.waitForMore("j/activewindow", 3));
        return queue.drain();
    };
    EXPECT_EQ(after(hyprWindow(3002, "kitty", "0xa1")), 0u) << "where we start is no change";
    EXPECT_EQ(after(hyprWindow(3002, "kitty", "0xa2")), 0u) << "another window of the same application";

    replies.set("j/activewindow", hyprWindow(3004, "firefox", "0xb1"));
    ASSERT_TRUE(replies.waitForMore("j/activewindow", 3));
    cancelled.reset();  // after the notice was queued: it must not run any more
    EXPECT_EQ(queue.drain(), 2u);
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(cancelledSeen, 0);
    EXPECT_EQ(frontAtNotice, "firefox");

    EXPECT_EQ(after("{}"), 1u) << "nothing focused (an empty workspace) is a change too";
    EXPECT_FALSE(workspace.frontmostApplication());
    EXPECT_EQ(after(hyprWindow(3004, "firefox", "0xb1")), 1u);
    // A compositor that stops answering is not "nothing focused".
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
    FakeCompositor sway(path, replies, true);
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

    // Under the pointer on sway: the focused window, from the same tree.
    ::setenv("SWAYSOCK", path.c_str(), 1);
    const auto t = ld::PointerTargets::forWayland(ld::DesktopKind::Sway, resolver(data))->current();
    ::unsetenv("SWAYSOCK");
    EXPECT_EQ(replies.asked(getTree), 5);
    EXPECT_EQ(t.pid, 4001);
    ASSERT_TRUE(t.app);
    EXPECT_EQ(t.app->localizedName, "kitty");
    EXPECT_FALSE(ld::swayRequest((runtime.path() / "absent.sock").string(), ld::sway::kGetTree, {}));
}

TEST(WaylandScreens, AnswersReusedForTheirLifetime) {
    TempDir runtime;
    Replies replies;
    const auto getOutputs = std::to_string(ld::sway::kGetOutputs);
    replies.set(getOutputs, R"([{"name":"DP-1","active":true,"rect":{"x":0,"y":0,"width":1920,"height":1080},)"
                            R"("current_mode":{"refresh":74973}}])");
    const auto swayPath = runtime.path() / "sway-ipc.sock";
    FakeCompositor sway(swayPath, replies, true);
    const auto hyprPath = runtime.path() / "hypr/sig/.socket.sock";
    replies.set("j/monitors", R"([{"id":1,"x":0,"y":0,"width":3000,"height":2000,"scale":2,"refreshRate":60}])");
    FakeCompositor hyprland(hyprPath, replies);

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

TEST(CompositorSockets, HyprlandWindowUnderTheCursor) {
    TempDir runtime, data;
    Replies replies;
    replies.set("j/cursorpos", R"({"x": 1500, "y": 100})");
    replies.set("j/monitors", R"([{"id":0,"activeWorkspace":{"id":1,"name":"1"},"specialWorkspace":{"id":0,"name":""}}])");
    // A reply longer than one read, to make sure it is read to the end.
    replies.set("j/clients", R"([{"mapped":true,"hidden":false,"at":[1280,0],"size":[1280,1440],"workspace":{"id":1},)"
                             R"("class":"kitty","pid":3002,"floating":false,"focusHistoryID":0,"title":")" +
                                 std::string(20000, 'x') + R"("}])");
    FakeCompositor hyprland(runtime.path() / "hypr/sig_1/.socket.sock", replies);
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    ::setenv("HYPRLAND_INSTANCE_SIGNATURE", "sig_1", 1);

    auto targets = ld::PointerTargets::forWayland(ld::DesktopKind::Hyprland, resolver(data));
    const auto t = targets->current();
    EXPECT_EQ(t.location.x, 1500);
    EXPECT_EQ(t.pid, 3002);
    ASSERT_TRUE(t.app);
    EXPECT_EQ(t.app->bundleIdentifier, "kitty");

    // Within its age an answer is reused without asking again.
    ld::WaylandTargetSource longLived(ld::DesktopKind::Hyprland, std::chrono::hours(1));
    const int before = replies.asked();
    longLived.target();
    const int perQuestion = replies.asked() - before;
    longLived.target();
    EXPECT_EQ(replies.asked() - before, perQuestion);
    ld::WaylandTargetSource uncached(ld::DesktopKind::Hyprland, std::chrono::milliseconds(0));
    uncached.target();
    uncached.target();
    EXPECT_EQ(replies.asked() - before, 3 * perQuestion);
    ::unsetenv("HYPRLAND_INSTANCE_SIGNATURE");
}

TEST(CompositorSockets, OtherDesktopsAnswerNothingAndSayItOnce) {
    TempDir data;
    gm::platform::MemoryLogSink sink;
    gm::platform::log().setSink(&sink);
    auto targets = ld::PointerTargets::forWayland(ld::DesktopKind::OtherWayland, resolver(data));
    EXPECT_FALSE(targets->current().app);
    EXPECT_FALSE(targets->current().app);
    static gm::platform::StderrLogSink stderrSink;
    gm::platform::log().setSink(&stderrSink);
    EXPECT_EQ(sink.lines().size(), 1u);
}
