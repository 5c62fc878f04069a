// The compositor connections end to end, against fake sway and Hyprland
// sockets that answer with recorded replies.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>

#include "FakeCompositor.h"
#include "TempDir.h"
#include "platform/Log.h"
#include "platform/linux/desktop/PointerTargets.h"

namespace ld = gm::platform::linux_desktop;
using gm::testing::FakeCompositor;
using gm::testing::readSome;
using gm::testing::TempDir;

namespace {

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
            auto header = gm::testing::readSwayHeader(fd);
            if (header.size() == 14) std::memcpy(&seenType, header.data() + 10, 4);
            return header;
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
