// The compositor connections end to end, against fake sway and Hyprland
// sockets that answer with recorded replies.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <thread>

#include "TempDir.h"
#include "platform/Log.h"
#include "platform/linux/desktop/PointerTargets.h"

namespace ld = gm::platform::linux_desktop;
using gm::testing::TempDir;

namespace {

// Accepts connections on a Unix socket and answers each with `reply(request)`,
// reading the request with `readRequest`, then closes it.
class FakeCompositor {
public:
    using ReadRequest = std::function<std::string(int fd)>;
    FakeCompositor(const std::filesystem::path& path, ReadRequest readRequest,
                   std::function<std::string(const std::string&)> reply)
        : readRequest_(std::move(readRequest)), reply_(std::move(reply)) {
        std::filesystem::create_directories(path.parent_path());
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(listener_, 8), 0);
        thread_ = std::thread([this] {
            for (;;) {
                const int fd = ::accept(listener_, nullptr, nullptr);
                if (fd < 0) return;
                const auto request = readRequest_(fd);
                requests_.fetch_add(1);
                const auto answer = reply_(request);
                [[maybe_unused]] const auto n = ::write(fd, answer.data(), answer.size());
                ::close(fd);
            }
        });
    }
    ~FakeCompositor() {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    int requests() const { return requests_.load(); }

private:
    int listener_ = -1;
    ReadRequest readRequest_;
    std::function<std::string(const std::string&)> reply_;
    std::atomic<int> requests_{0};
    std::thread thread_;
};

std::string readSome(int fd) {
    char buffer[256];
    const auto n = ::read(fd, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::shared_ptr<ld::AppResolver> resolverWithKitty(const TempDir& data) {
    data.write("applications/kitty.desktop", "[Desktop Entry]\nType=Application\nName=kitty\nIcon=kitty\n");
    return std::make_shared<ld::AppResolver>(ld::DesktopEntryIndex({data.path()}), ld::ProcFs(data.path() / "proc"),
                                             "C", "");
}

}  // namespace

TEST(CompositorSockets, HyprlandWindowUnderTheCursor) {
    TempDir runtime, data;
    const std::map<std::string, std::string> replies = {
        {"j/cursorpos", R"({"x": 1500, "y": 100})"},
        {"j/monitors", R"([{"id":0,"activeWorkspace":{"id":1,"name":"1"},"specialWorkspace":{"id":0,"name":""}}])"},
        // A reply longer than one read, to make sure it is read to the end.
        {"j/clients", R"([{"mapped":true,"hidden":false,"at":[1280,0],"size":[1280,1440],"workspace":{"id":1},)"
                      R"("class":"kitty","pid":3002,"floating":false,"focusHistoryID":0,"title":")" +
                          std::string(20000, 'x') + R"("}])"}};
    FakeCompositor hyprland(runtime.path() / "hypr/sig_1/.socket.sock", readSome, [&](const std::string& request) {
        const auto it = replies.find(request);
        return it == replies.end() ? std::string("unknown request") : it->second;
    });
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    ::setenv("HYPRLAND_INSTANCE_SIGNATURE", "sig_1", 1);

    auto targets = ld::PointerTargets::forWayland(ld::DesktopKind::Hyprland, resolverWithKitty(data));
    const auto t = targets->current();
    EXPECT_EQ(t.location.x, 1500);
    EXPECT_EQ(t.pid, 3002);
    ASSERT_TRUE(t.app);
    EXPECT_EQ(t.app->bundleIdentifier, "kitty");

    // Within its age an answer is reused without asking again.
    ld::WaylandTargetSource longLived(ld::DesktopKind::Hyprland, std::chrono::hours(1));
    const int before = hyprland.requests();
    longLived.target();
    const int perQuestion = hyprland.requests() - before;
    longLived.target();
    EXPECT_EQ(hyprland.requests() - before, perQuestion);
    ld::WaylandTargetSource uncached(ld::DesktopKind::Hyprland, std::chrono::milliseconds(0));
    uncached.target();
    uncached.target();
    EXPECT_EQ(hyprland.requests() - before, 3 * perQuestion);
    ::unsetenv("HYPRLAND_INSTANCE_SIGNATURE");
}

TEST(CompositorSockets, SwayFocusedWindowOverFramedMessages) {
    TempDir runtime, data;
    const std::string tree =
        R"({"type":"root","nodes":[{"type":"output","nodes":[{"type":"workspace","nodes":[)"
        R"({"type":"con","focused":true,"pid":4001,"app_id":"kitty","rect":{"x":0,"y":0,"width":800,"height":600}}]}]}]})";
    std::uint32_t seenType = 0;
    FakeCompositor sway(
        runtime.path() / "sway-ipc.sock",
        [&](int fd) {
            char header[14];
            std::size_t got = 0;
            while (got < sizeof header) {
                const auto n = ::read(fd, header + got, sizeof header - got);
                if (n <= 0) return std::string();
                got += static_cast<std::size_t>(n);
            }
            std::memcpy(&seenType, header + 10, 4);
            return std::string(header, sizeof header);
        },
        [&](const std::string&) { return ld::sway::encodeMessage(ld::sway::kGetTree, tree); });
    ::setenv("SWAYSOCK", (runtime.path() / "sway-ipc.sock").c_str(), 1);

    const auto t = ld::PointerTargets::forWayland(ld::DesktopKind::Sway, resolverWithKitty(data))->current();
    EXPECT_EQ(seenType, ld::sway::kGetTree);
    EXPECT_EQ(t.pid, 4001);
    ASSERT_TRUE(t.app);
    EXPECT_EQ(t.app->localizedName, "kitty");
    ::unsetenv("SWAYSOCK");
    EXPECT_FALSE(ld::swayRequest((runtime.path() / "absent.sock").string(), ld::sway::kGetTree, {}));
}

TEST(CompositorSockets, OtherDesktopsAnswerNothingAndSayItOnce) {
    TempDir data;
    gm::platform::MemoryLogSink sink;
    gm::platform::log().setSink(&sink);
    auto targets = ld::PointerTargets::forWayland(ld::DesktopKind::OtherWayland, resolverWithKitty(data));
    EXPECT_FALSE(targets->current().app);
    EXPECT_FALSE(targets->current().app);
    static gm::platform::StderrLogSink stderrSink;
    gm::platform::log().setSink(&stderrSink);
    EXPECT_EQ(sink.lines().size(), 1u);
}
