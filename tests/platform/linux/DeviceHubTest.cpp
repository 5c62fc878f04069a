// The forwarding thread against fake mice: frames, grabs, wheel extraction,
// hot-plug and giving the mice back.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "FakeDevices.h"
#include "platform/linux/DeviceHub.h"

namespace gm::test {
namespace {

struct RecordingListener final : HubListener {
    std::atomic<bool> wants{true};
    std::mutex mutex;
    std::vector<std::pair<DeviceId, EventRef>> scrolls;
    std::vector<DeviceId> clicks;
    bool wantsScroll() const override { return wants.load(); }
    void scrollWheel(DeviceId d, EventRef e) override {
        std::lock_guard lock(mutex);
        scrolls.emplace_back(d, std::move(e));
    }
    void leftMouseDown(DeviceId d, EventRef) override {
        std::lock_guard lock(mutex);
        clicks.push_back(d);
    }
    std::size_t scrollCount() {
        std::lock_guard lock(mutex);
        return scrolls.size();
    }
};

// Waits for a condition that depends on the hub's thread; generous, never a timing assertion.
template <class Pred>
bool eventually(DeviceHub& hub, Pred pred) {
    for (int i = 0; i < 500; ++i) {
        hub.sync();
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class HubTest : public ::testing::Test {
protected:
    FakeMouse mouse{"mouse-1"};
    FakeBackend backend;
    FakeMonitor monitor;
    RecordingListener listener;
    std::unique_ptr<DeviceHub> hub;

    void start(double settle = 0.0) {
        backend.add(mouse);
        monitor.present(mouse.id);
        hub = std::make_unique<DeviceHub>(backend, monitor, DeviceHub::Options{settle});
        hub->setListener(&listener);
        hub->start();
        hub->sync();
    }
    DeviceId onlyDevice() {
        auto ids = hub->devices();
        return ids.empty() ? 0 : ids.front();
    }
};

TEST_F(HubTest, ForwardsEachNonWheelFrameWhole) {
    start();
    ASSERT_TRUE(mouse.grabbed.load());
    const std::vector<Frame> sent = {{ev(EV_REL, REL_X, 3), ev(EV_REL, REL_Y, -2), syn()},
                                     {ev(EV_MSC, MSC_SCAN, 90001), ev(EV_KEY, BTN_RIGHT, 1), syn()},
                                     {ev(EV_KEY, KEY_VOLUMEUP, 1), syn()}};
    for (const auto& frame : sent) mouse.send(frame);
    hub->sync();
    auto frames = mouse.cloneFrames();
    ASSERT_EQ(frames.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(codes(frames[i]), codes(sent[i])) << i;
}

TEST_F(HubTest, OverrunDropsOnlyTheIncompleteFrame) {
    start();
    mouse.send({ev(EV_REL, REL_X, 1)});  // no SYN_REPORT yet
    mouse.send({ev(EV_SYN, SYN_DROPPED, 0)});
    mouse.send({ev(EV_KEY, BTN_LEFT, 0), syn()});  // the state the reader missed
    mouse.send({ev(EV_REL, REL_Y, 1), syn()});
    hub->sync();
    auto frames = mouse.cloneFrames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0][0].code, BTN_LEFT);
    EXPECT_EQ(frames[1][0].code, REL_Y);
    EXPECT_EQ(hub->stats().framesDropped, 1u);
}

TEST_F(HubTest, GrabsOnlyOnceNoButtonIsHeld) {
    mouse.keysDown = true;
    start();
    EXPECT_FALSE(mouse.grabbed.load());
    mouse.send({ev(EV_REL, REL_X, 1), syn()});  // seen by the desktop directly, not ours to forward
    hub->sync();
    EXPECT_FALSE(mouse.grabbed.load());
    mouse.keysDown = false;
    mouse.send({ev(EV_KEY, BTN_LEFT, 0), syn()});
    hub->sync();
    EXPECT_TRUE(mouse.grabbed.load());
    EXPECT_TRUE(mouse.cloneFrames().empty());  // the drained release went to the desktop already
}

TEST_F(HubTest, LeavesAMouseAloneThatAnotherProgramHolds) {
    mouse.heldElsewhere = true;
    start();
    EXPECT_TRUE(hub->devices().empty());
    EXPECT_EQ(mouse.clonesDestroyed.load(), mouse.clonesMade.load());
}

TEST_F(HubTest, NotchesGoToTheTapAndEverythingElseStaysInItsFrame) {
    start();
    mouse.send({ev(EV_REL, REL_X, 5), ev(EV_REL, REL_WHEEL_HI_RES, 120), ev(EV_REL, REL_WHEEL, 1), syn()});
    mouse.send({ev(EV_KEY, BTN_LEFT, 1), syn()});
    hub->sync();
    auto frames = mouse.cloneFrames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(codes(frames[0]), (Codes{{REL_X, 5}, {SYN_REPORT, 0}}));  // the wheel was taken out
    ASSERT_EQ(listener.scrollCount(), 1u);
    EXPECT_EQ(listener.scrolls[0].second->integerValue(platform::field::scrollDeltaAxis1), 1);
    EXPECT_EQ(listener.clicks.size(), 1u);

    // A re-emitted notch comes out as high-resolution units plus the legacy notch.
    ASSERT_TRUE(hub->emitNotches(listener.scrolls[0].first, {1, 0}));
    frames = mouse.cloneFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(codes(frames[0]), (Codes{{REL_WHEEL_HI_RES, 120}, {REL_WHEEL, 1}, {SYN_REPORT, 0}}));
}

TEST_F(HubTest, WheelPassesStraightThroughWithoutATapAndWhenAlreadySmooth) {
    start();
    listener.wants = false;
    mouse.send({ev(EV_REL, REL_WHEEL, -1), syn()});
    hub->sync();
    auto frames = mouse.cloneFrames();
    ASSERT_EQ(frames.size(), 1u);  // the notch gains its high-resolution twin
    EXPECT_EQ(codes(frames[0]), (Codes{{REL_WHEEL_HI_RES, -120}, {REL_WHEEL, -1}, {SYN_REPORT, 0}}));

    listener.wants = true;
    mouse.send({ev(EV_REL, REL_WHEEL_HI_RES, 30), syn()});   // a free-spinning wheel
    mouse.send({ev(EV_REL, REL_WHEEL_HI_RES, 120), syn()});  // stays smooth once known to be
    hub->sync();
    frames = mouse.cloneFrames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0][0].value, 30);  // untouched
    EXPECT_EQ(listener.scrollCount(), 0u);
}

TEST_F(HubTest, PostingWritesHighResolutionUnitsAndStopsWhenTheMouseIsGone) {
    start();
    const DeviceId id = onlyDevice();
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(hub->post(id, 90.0, 0));  // one notch
    auto frames = mouse.cloneFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(codes(frames[0]), (Codes{{REL_WHEEL_HI_RES, 120}, {REL_WHEEL, 1}, {SYN_REPORT, 0}}));

    mouse.unplug();  // mid-animation
    ASSERT_TRUE(eventually(*hub, [&] { return hub->devices().empty(); }));
    EXPECT_FALSE(hub->post(id, 10.0, 0));
    EXPECT_EQ(mouse.clonesDestroyed.load(), 1);
}

TEST_F(HubTest, FollowsUnplugAndReplugAndSettlesBursts) {
    start(0.05);
    ASSERT_EQ(hub->devices().size(), 1u);
    mouse.unplug();
    monitor.unplug(mouse.id);
    ASSERT_TRUE(eventually(*hub, [&] { return hub->devices().empty(); }));

    // A bouncing connector: add, remove, add in quick succession opens the mouse once.
    const int opensBefore = mouse.opens.load();
    mouse.replug();
    monitor.plug(mouse.id);
    monitor.unplug(mouse.id);
    monitor.plug(mouse.id);
    ASSERT_TRUE(eventually(*hub, [&] { return hub->devices().size() == 1; }));
    EXPECT_EQ(mouse.opens.load() - opensBefore, 1);
    mouse.send({ev(EV_REL, REL_X, 1), syn()});
    ASSERT_TRUE(eventually(*hub, [&] { return hub->stats().framesForwarded >= 1; }));
}

TEST_F(HubTest, StopReleasesHeldButtonsUngrabsAndDestroysTheClone) {
    start();
    mouse.send({ev(EV_KEY, BTN_LEFT, 1), ev(EV_KEY, BTN_SIDE, 1), syn()});
    hub->sync();
    mouse.cloneFrames();
    hub->stop();
    auto frames = mouse.cloneFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(codes(frames[0]), (Codes{{BTN_LEFT, 0}, {BTN_SIDE, 0}, {SYN_REPORT, 0}}));
    EXPECT_FALSE(mouse.grabbed.load());
    EXPECT_EQ(mouse.clonesDestroyed.load(), 1);
    hub->stop();  // twice is harmless
}

}  // namespace
}  // namespace gm::test
