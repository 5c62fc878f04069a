// Many frames through the fake device path while another thread posts
// animation frames and the tap is switched off and on: no frame may be lost,
// none may be torn, and (under ThreadSanitizer) nothing may race.
#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <thread>

#include "FakeDevices.h"
#include "platform/linux/LinuxPlatform.h"

namespace gm::test {
namespace {

using platform::EventType;
using platform::TapProxy;

std::atomic<TapProxy> lastProxy{nullptr};
std::atomic<int> swallowed{0};

EventRef swallowAll(TapProxy proxy, EventType, const EventRef&, void*) {
    lastProxy = proxy;
    ++swallowed;
    return nullptr;
}

TEST(LinuxStress, TicksPostsAndTapTogglesLoseAndTearNothing) {
    constexpr int kFrames = 4000;
    FakeMouse mouse("stress-mouse");
    LinuxPlatform platform(std::make_unique<FakeBackend>(mouse), std::make_unique<FakeMonitor>(mouse.id),
                           DeviceHub::Options{0.0});

    platform::TapSpec spec;
    spec.mask = platform::eventMaskBit(EventType::ScrollWheel);
    spec.callback = swallowAll;
    std::shared_ptr<platform::EventTap> tap;
    platform.engineLoop().runSync([&] {
        tap = platform.eventTaps().createTap(spec);
        platform.currentRunLoop().addSource(tap->createRunLoopSource());
    });
    platform.hub().sync();
    ASSERT_EQ(platform.hub().devices().size(), 1u);
    const TapProxy proxy = platform::linux_input::LinuxEventTaps::proxyFor(platform.hub().devices().front());

    CloneReader reader(mouse);

    std::atomic<bool> feeding{true};
    std::atomic<int> posts{0};
    std::thread poster([&] {
        auto event = std::make_shared<platform::FieldTableEvent>(EventType::ScrollWheel);
        event->setDoubleValue(platform::field::scrollPointDeltaAxis1, 7.0);
        for (int i = 0; i < 3000; ++i) {
            platform.eventTaps().postEvent(proxy, event);
            ++posts;
            if (i % 8 == 0) std::this_thread::yield();
        }
    });
    std::thread toggler([&] {
        auto link = platform.displays().createDisplayLink(1);
        link->setOutputCallback([](void*) {}, nullptr);
        bool on = true;
        while (feeding.load()) {
            on = !on;
            tap->enable(on);
            on ? link->start() : link->stop();
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        tap->enable(true);
        link->stop();
    });

    for (int i = 1; i <= kFrames; ++i) {
        if (i % 4 == 0) {
            mouse.send({ev(EV_REL, REL_WHEEL, 1), syn()});
        } else {
            mouse.send({ev(EV_REL, REL_X, i), ev(EV_REL, REL_Y, -i), syn()});
        }
    }
    poster.join();
    feeding = false;
    toggler.join();
    platform.hub().sync();
    platform.engineLoop().runSync([] {});
    const auto emitted = platform.hub().emittedUnits(platform.hub().devices().front());
    const auto stats = platform.hub().stats();
    platform.shutdown();
    const std::vector<Frame> frames = reader.stop();

    int motion = 0, lastX = 0, passedNotches = 0;
    long hiRes = 0;  // from posts only
    for (const Frame& f : frames) {
        ASSERT_FALSE(f.empty());
        ASSERT_EQ(f.back().type, EV_SYN);
        ASSERT_EQ(f.back().code, SYN_REPORT);
        if (f.front().code == REL_X) {
            ASSERT_EQ(f.size(), 3u) << "a motion frame shares its write with nothing";
            ASSERT_GT(f.front().value, lastX) << "frames stay in order";
            lastX = f.front().value;
            ++motion;
        }
        if (f.front().code == REL_WHEEL_HI_RES && f.front().value == 120) {
            ++passedNotches;  // the tap was off when the hub or the engine saw the notch
        } else if (f.front().code == REL_WHEEL_HI_RES) {
            hiRes += f.front().value;  // posts move 9 or 10 units a frame (60 at a burst start)
        }
    }
    EXPECT_EQ(motion, kFrames - kFrames / 4);
    EXPECT_EQ(swallowed.load() + passedNotches, kFrames / 4);
    EXPECT_EQ(stats.scrollsTapped + stats.scrollsPassed, static_cast<std::uint64_t>(kFrames / 4));
    ASSERT_TRUE(emitted.has_value());
    EXPECT_EQ(hiRes, (*emitted)[0]);
    // Every posted point arrived: 7 points = 28/3 units per post, up to half a notch of start lead.
    const double posted = posts.load() * 7.0 * 120.0 / 90.0;
    EXPECT_GE(static_cast<double>(hiRes), posted - 0.5);
    EXPECT_LE(static_cast<double>(hiRes), posted + 60.5);
}

}  // namespace
}  // namespace gm::test
