// The Wayland workspace, screens and pointer targets against fake sway and
// Hyprland sockets that answer with recorded replies: what is asked, how
// often, and which changes are announced.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "DesktopTestSupport.h"
#include "platform/Log.h"
#include "platform/linux/desktop/PointerTargets.h"
#include "platform/linux/desktop/WaylandWorkspace.h"

namespace ld = gm::platform::linux_desktop;
using gm::testing::TempDir;
using gm::testing::TestQueue;
using namespace std::chrono_literals;

namespace {

// A compositor's IPC socket: answers each connection's request from a table
// the test may change while the workspace polls, counts the requests, and
// closes the connection. Hyprland's requests are plain text; sway's are framed
// messages (written whole), answered by their type.
class FakeCompositor {
public:
    explicit FakeCompositor(const std::filesystem::path& path, bool sway = false) {
        std::filesystem::create_directories(path.parent_path());
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(listener_, 8), 0);
        thread_ = std::thread([this, sway] {
            for (int fd; (fd = ::accept(listener_, nullptr, nullptr)) >= 0; ::close(fd)) {
                char request[256];
                const auto n = static_cast<std::size_t>(std::max<ssize_t>(::read(fd, request, sizeof request), 0));
                std::uint32_t type = 0;  // from the 14-byte header; our requests carry no payload
                if (sway && n >= 14) std::memcpy(&type, request + 10, sizeof type);
                const auto reply = sway ? ld::sway::encodeMessage(type, answer(std::to_string(type)))
                                        : answer(std::string(request, n));
                [[maybe_unused]] const auto written = ::write(fd, reply.data(), reply.size());
            }
        });
    }
    ~FakeCompositor() {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    void set(const std::string& request, std::string reply) {
        std::lock_guard lock(mutex_);
        replies_[request] = std::move(reply);
    }
    int asked(const std::string& request) {
        std::lock_guard lock(mutex_);
        return asked_[request];
    }
    // Waits until `request` was asked `more` more times, so that a change was seen.
    bool waitForMore(const std::string& request, int more) {
        const int target = asked(request) + more;
        return gm::testing::waitFor([&] { return asked(request) >= target; }, 5s);
    }

private:
    std::string answer(const std::string& request) {
        std::lock_guard lock(mutex_);
        ++asked_[request];
        const auto it = replies_.find(request);
        return it == replies_.end() ? std::string("unknown request") : it->second;
    }

    std::mutex mutex_;
    std::map<std::string, std::string> replies_;
    std::map<std::string, int> asked_;
    int listener_ = -1;
    std::thread thread_;
};

std::string hyprWindow(int pid, const std::string& cls, const std::string& address) {
    return R"({"address":")" + address + R"(","mapped":true,"hidden":false,"at":[0,0],"size":[800,600],)"
           R"("workspace":{"id":1,"name":"1"},"floating":false,"class":")" + cls + R"(","title":"t","pid":)" +
           std::to_string(pid) + R"(,"fullscreen":0,"focusHistoryID":0})";
}

// A scratch runtime folder for the fake sockets, and the applications' desktop entries.
class CompositorSockets : public ::testing::Test {
protected:
    std::shared_ptr<ld::AppResolver> resolver() const {
        data.write("applications/kitty.desktop", "[Desktop Entry]\nType=Application\nName=kitty\nIcon=kitty\n");
        data.write("applications/firefox.desktop", "[Desktop Entry]\nType=Application\nName=Firefox\n");
        data.write("applications/pavucontrol.desktop",
                   "[Desktop Entry]\nType=Application\nName=Volume Control\nNoDisplay=true\n");
        return std::make_shared<ld::AppResolver>(ld::DesktopEntryIndex({data.path()}), ld::ProcFs(data.path() / "proc"),
                                                 "C", "");
    }
    TempDir runtime, data;
    const std::string hyprPath = (runtime.path() / "hypr/sig/.socket.sock").string();
    const std::string swayPath = (runtime.path() / "sway-ipc.sock").string();
    const std::string getTree = std::to_string(ld::sway::kGetTree);
    TestQueue queue;
};

}  // namespace

TEST_F(CompositorSockets, HyprlandAnnouncesEachChangeOfApplicationOnce) {
    auto hyprland = std::make_unique<FakeCompositor>(hyprPath);
    hyprland->set("j/activewindow", hyprWindow(3002, "kitty", "0xa1"));
    ld::WaylandWorkspace workspace(ld::DesktopKind::Hyprland, queue, resolver(), {.socketPath = hyprPath, .pollInterval = 5ms});

    std::vector<std::string> notices;  // the frontmost application as each notice runs
    int cancelledSeen = 0;
    auto subscription = workspace.observeActivations([&] {
        const auto app = workspace.frontmostApplication();
        notices.push_back(app ? app->bundleIdentifier.value_or("?") : "none");
    });
    auto cancelled = workspace.observeActivations([&] { ++cancelledSeen; });
    // The notices queued once the workspace has seen `reply`.
    const auto after = [&](const std::string& reply) {
        hyprland->set("j/activewindow", reply);
        EXPECT_TRUE(hyprland->waitForMore("j/activewindow", 3));
        return queue.drain();
    };
    EXPECT_EQ(after(hyprWindow(3002, "kitty", "0xa1")), 0u) << "where we start is no change";
    EXPECT_EQ(after(hyprWindow(3002, "kitty", "0xa2")), 0u) << "another window of the same application";

    hyprland->set("j/activewindow", hyprWindow(3004, "firefox", "0xb1"));
    ASSERT_TRUE(hyprland->waitForMore("j/activewindow", 3));
    cancelled.reset();  // after the notice was queued: it must not run any more
    EXPECT_EQ(queue.drain(), 2u);
    EXPECT_EQ(cancelledSeen, 0);

    EXPECT_EQ(after("{}"), 1u) << "nothing focused (an empty workspace) is a change too";
    EXPECT_EQ(after(hyprWindow(3004, "firefox", "0xb1")), 1u);
    // A compositor that stops answering is not "nothing focused".
    hyprland.reset();
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(queue.drain(), 0u);
    EXPECT_EQ(notices, (std::vector<std::string>{"firefox", "none", "firefox"}));
    ASSERT_TRUE(workspace.frontmostApplication());
    EXPECT_EQ(workspace.frontmostApplication()->bundleIdentifier, "firefox");
}

TEST_F(CompositorSockets, SwayApplicationsFromOneCachedTree) {
    FakeCompositor sway(swayPath, true);
    sway.set(getTree,
             R"({"type":"root","nodes":[{"type":"output","name":"DP-1","nodes":[{"type":"workspace","nodes":[)"
             R"({"type":"con","layout":"splith","nodes":[)"
             R"({"type":"con","pid":4001,"app_id":"kitty","focused":false,"nodes":[]},)"
             R"({"type":"con","pid":4001,"app_id":"kitty","focused":true,"nodes":[]}]},)"
             R"({"type":"con","pid":4002,"app_id":null,"window_properties":{"class":"firefox","instance":"Navigator"}}],)"
             R"("floating_nodes":[{"type":"floating_con","pid":4003,"app_id":"pavucontrol"}]}]}]})");
    ld::WaylandWorkspace workspace(ld::DesktopKind::Sway, queue, resolver(), {.socketPath = swayPath, .listLifetime = 1h});

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
    EXPECT_EQ(sway.asked(getTree), 1) << "every question above shares one answer";

    const auto front = workspace.frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->processIdentifier, 4001);
    EXPECT_EQ(sway.asked(getTree), 2);

    ld::WaylandWorkspace uncached(ld::DesktopKind::Sway, queue, resolver(), {.socketPath = swayPath, .listLifetime = 0ms});
    uncached.runningApplications();
    uncached.applicationWithProcessIdentifier(4001);
    EXPECT_EQ(sway.asked(getTree), 4);

    std::vector<gm::platform::WindowInfo> windows{{}};
    EXPECT_FALSE(workspace.onScreenWindows(windows));
    EXPECT_TRUE(windows.empty());
    EXPECT_EQ(queue.drain(), 0u);

    // Under the pointer on sway: the focused window, from the same tree.
    ::setenv("SWAYSOCK", swayPath.c_str(), 1);
    const auto t = ld::PointerTargets::forWayland(ld::DesktopKind::Sway, resolver())->current();
    ::unsetenv("SWAYSOCK");
    EXPECT_EQ(sway.asked(getTree), 5);
    EXPECT_EQ(t.pid, 4001);
    ASSERT_TRUE(t.app);
    EXPECT_EQ(t.app->localizedName, "kitty");
}

TEST_F(CompositorSockets, ScreensReusedForTheirLifetime) {
    const auto getOutputs = std::to_string(ld::sway::kGetOutputs);
    FakeCompositor sway(swayPath, true), hyprland(hyprPath);
    sway.set(getOutputs, R"([{"name":"DP-1","active":true,"rect":{"x":0,"y":0,"width":1920,"height":1080},)"
                         R"("current_mode":{"refresh":74973}}])");
    hyprland.set("j/monitors", R"([{"id":1,"x":0,"y":0,"width":3000,"height":2000,"scale":2,"refreshRate":60}])");

    std::vector<gm::platform::Screen> out(3);
    ld::WaylandScreens cached(ld::DesktopKind::Sway, swayPath, 1h), uncached(ld::DesktopKind::Sway, swayPath, 0ms);
    for (auto* screens : {&cached, &cached, &uncached, &uncached}) screens->screens(out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_NEAR(out[0].refreshRate, 74.973, 1e-9);
    EXPECT_EQ(sway.asked(getOutputs), 3);

    ld::WaylandScreens hypr(ld::DesktopKind::Hyprland, hyprPath, 1h);
    hypr.screens(out);
    hypr.screens(out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].frame.width, 1500);
    EXPECT_EQ(hyprland.asked("j/monitors"), 1);

    // No compositor: no screens, so the caller's stand-in applies.
    ld::WaylandScreens absent(ld::DesktopKind::Sway, (runtime.path() / "absent.sock").string(), 1h);
    absent.screens(out);
    EXPECT_TRUE(out.empty());
}

TEST_F(CompositorSockets, HyprlandWindowUnderTheCursor) {
    FakeCompositor hyprland(hyprPath);
    hyprland.set("j/cursorpos", R"({"x": 1500, "y": 100})");
    hyprland.set("j/monitors", R"([{"id":0,"activeWorkspace":{"id":1,"name":"1"},"specialWorkspace":{"id":0,"name":""}}])");
    // A reply longer than one read, to make sure it is read to the end.
    hyprland.set("j/clients", R"([{"mapped":true,"hidden":false,"at":[1280,0],"size":[1280,1440],"workspace":{"id":1},)"
                              R"("class":"kitty","pid":3002,"floating":false,"focusHistoryID":0,"title":")" +
                                  std::string(20000, 'x') + R"("}])");
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    ::setenv("HYPRLAND_INSTANCE_SIGNATURE", "sig", 1);

    const auto t = ld::PointerTargets::forWayland(ld::DesktopKind::Hyprland, resolver())->current();
    EXPECT_EQ(t.location.x, 1500);
    EXPECT_EQ(t.pid, 3002);
    ASSERT_TRUE(t.app);
    EXPECT_EQ(t.app->bundleIdentifier, "kitty");

    // Within its age an answer is reused without asking again.
    ld::WaylandTargetSource cached(ld::DesktopKind::Hyprland, 1h), uncached(ld::DesktopKind::Hyprland, 0ms);
    for (auto* source : {&cached, &cached, &uncached, &uncached}) source->target();
    EXPECT_EQ(hyprland.asked("j/cursorpos"), 4);
    ::unsetenv("HYPRLAND_INSTANCE_SIGNATURE");
}

TEST_F(CompositorSockets, OtherDesktopsAnswerNothingAndSayItOnce) {
    gm::platform::MemoryLogSink sink;
    gm::platform::log().setSink(&sink);
    auto targets = ld::PointerTargets::forWayland(ld::DesktopKind::OtherWayland, resolver());
    EXPECT_FALSE(targets->current().app);
    EXPECT_FALSE(targets->current().app);
    gm::platform::log().setSink(&gm::platform::stderrLogSink());
    EXPECT_EQ(sink.lines().size(), 1u);
}
