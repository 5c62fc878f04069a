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
    std::mutex mutex;
    std::vector<int> scrolls;  // the notches each tapped scroll carried
    std::atomic<std::size_t> clicks{0};
    bool wantsScroll() const override { return true; }
    void scrollWheel(DeviceId, EventRef e) override {
        std::lock_guard lock(mutex);
        scrolls.push_back(static_cast<int>(e->integerValue(platform::field::scrollDeltaAxis1)));
    }
    void leftMouseDown(DeviceId, EventRef) override { ++clicks; }
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

// A hub over one fake mouse, started once the test has set the mouse up.
struct OneMouse {
    FakeMouse mouse{"mouse-1"};
    FakeBackend backend{mouse};
    FakeMonitor monitor{mouse.id};
    RecordingListener listener;
    std::unique_ptr<DeviceHub> hub;

    void start(double settle = 0.0) {
        hub = std::make_unique<DeviceHub>(backend, monitor, DeviceHub::Options{settle});
        hub->setListener(&listener);
        hub->start();
        hub->sync();
    }
};
class HubTest : public ::testing::Test, protected OneMouse {};

struct FramesRow {
    const char* what;
    std::vector<Frame> in;
    std::vector<Codes> out;
    std::vector<int> tapped;  // notches of the scrolls the tap got
    std::size_t clicks;
    std::uint64_t dropped;
};

// Frames in, frames out, each row on a fresh hub.
TEST(Hub, FramesInFramesOut) {
    const FramesRow rows[] = {
        {"each non-wheel frame whole",
         {{ev(EV_REL, REL_X, 3), ev(EV_REL, REL_Y, -2), syn()},
          {ev(EV_MSC, MSC_SCAN, 90001), ev(EV_KEY, BTN_RIGHT, 1), syn()},
          {ev(EV_KEY, KEY_VOLUMEUP, 1), syn()}},
         {{{REL_X, 3}, {REL_Y, -2}, {SYN_REPORT, 0}}, {{MSC_SCAN, 90001}, {BTN_RIGHT, 1}, {SYN_REPORT, 0}},
          {{KEY_VOLUMEUP, 1}, {SYN_REPORT, 0}}},
         {}, 0, 0},
        {"an overrun drops only the incomplete frame",
         {{ev(EV_REL, REL_X, 1)}, {ev(EV_SYN, SYN_DROPPED, 0)},
          {ev(EV_KEY, BTN_LEFT, 0), syn()},  // the state the reader missed
          {ev(EV_REL, REL_Y, 1), syn()}},
         {{{BTN_LEFT, 0}, {SYN_REPORT, 0}}, {{REL_Y, 1}, {SYN_REPORT, 0}}},
         {}, 0, 1},
        {"the notch goes to the tap, the rest stays in its frame",
         {{ev(EV_REL, REL_X, 5), ev(EV_REL, REL_WHEEL_HI_RES, 120), ev(EV_REL, REL_WHEEL, 1), syn()},
          {ev(EV_KEY, BTN_LEFT, 1), syn()}},
         {{{REL_X, 5}, {SYN_REPORT, 0}}, {{BTN_LEFT, 1}, {SYN_REPORT, 0}}},
         {1}, 1, 0},
        {"a free-spinning wheel passes untouched, and stays smooth once known to be",
         {{ev(EV_REL, REL_WHEEL_HI_RES, 30), syn()}, {ev(EV_REL, REL_WHEEL_HI_RES, 120), syn()}},
         {{{REL_WHEEL_HI_RES, 30}, {SYN_REPORT, 0}}, {{REL_WHEEL_HI_RES, 120}, {SYN_REPORT, 0}}},
         {}, 0, 0},
    };
    for (const FramesRow& row : rows) {
        SCOPED_TRACE(row.what);
        OneMouse w;
        w.start();
        ASSERT_TRUE(w.mouse.grabbed.load());
        for (const Frame& frame : row.in) w.mouse.send(frame);
        w.hub->sync();
        EXPECT_EQ(w.mouse.cloneCodes(), row.out);
        EXPECT_EQ(w.listener.scrolls, row.tapped);
        EXPECT_EQ(w.listener.clicks.load(), row.clicks);
        EXPECT_EQ(w.hub->stats().framesDropped, row.dropped);
    }
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
    EXPECT_EQ(mouse.liveClones.load(), 0);
}

TEST_F(HubTest, FollowsUnplugAndReplugAndSettlesBursts) {
    start(0.05);
    ASSERT_EQ(hub->devices().size(), 1u);
    mouse.unplug();
    monitor.plug(false);
    ASSERT_TRUE(eventually(*hub, [&] { return hub->devices().empty(); }));

    // A bouncing connector: add, remove, add in quick succession opens the mouse once.
    const int opensBefore = mouse.opens.load();
    mouse.replug();
    monitor.plug(true);
    monitor.plug(false);
    monitor.plug(true);
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
    EXPECT_EQ(mouse.cloneCodes(), (std::vector<Codes>{{{BTN_LEFT, 0}, {BTN_SIDE, 0}, {SYN_REPORT, 0}}}));
    EXPECT_FALSE(mouse.grabbed.load());
    EXPECT_EQ(mouse.liveClones.load(), 0);
    hub->stop();  // twice is harmless
}

}  // namespace
}  // namespace gm::test
