// The real Linux threads (engine loop, poster queue, display clock, device
// hub) driven through fake mice, with the real engine and with a tap of our
// own: under ThreadSanitizer nothing may race; in any build no frame may be
// lost or torn and every notch must be either tapped or passed.
#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <map>
#include <thread>

#include "FakeDevices.h"
#include "engine/Engine.h"
#include "platform/linux/LinuxPlatform.h"
#include "settings/SettingsManager.h"

// Allocations made on display clock threads, where frames run (counted in FrameThreadAllocations.cpp).
long frameThreadAllocations();

namespace gm::test {
namespace {

using platform::EventType;
using platform::TapProxy;

// Every write one whole frame; motion (REL_X rising, as sent) in order and alone
// in its write. Returns how many frames begin with each code.
std::map<std::uint16_t, int> checkFrames(const std::vector<Frame>& frames) {
    std::map<std::uint16_t, int> count;
    int lastX = 0;
    for (const Frame& f : frames) {
        EXPECT_TRUE(!f.empty() && f.back().type == EV_SYN && f.back().code == SYN_REPORT) << "one whole frame a write";
        if (f.empty()) continue;
        if (f.front().code == REL_X) {
            EXPECT_EQ(f.size(), 3u) << "a motion frame shares its write with nothing";
            EXPECT_GT(f.front().value, lastX) << "motion stays in order";
            lastX = f.front().value;
        }
        ++count[f.front().code];
    }
    return count;
}

// The engine over one fake mouse on the Linux backend, started.
struct EngineOnFakeMouse {
    explicit EngineOnFakeMouse(const std::string& name, double hz = 60)
        : mouse(name),
          platform(std::make_unique<FakeBackend>(mouse), std::make_unique<FakeMonitor>(mouse.id), DeviceHub::Options{0.0}) {
        platform.setScreens([hz](std::vector<platform::Screen>& out) { out.push_back({{0, 0, 1920, 1080}, 1, hz}); });
        engine = std::make_unique<engine::Engine>(platform, settings);
        platform.engineLoop().runSync([&] { engine->core.start(); });
        platform.hub().sync();
    }
    ~EngineOnFakeMouse() {
        platform.engineLoop().runSync([&] { engine->core.end(); });
        platform.shutdown();
        engine.reset();
    }

    FakeMouse mouse;
    LinuxPlatform platform;
    settings::SettingsManager settings{platform.userDefaults(), platform.logger(), platform.clock()};
    std::unique_ptr<engine::Engine> engine;
};

TEST(EngineOnLinux, NotchesPressesModifiersSettingsAndRestartsTogether) {
    constexpr int kNotches = 100000;
    EngineOnFakeMouse world("engine-mouse");
    auto& [mouse, platform, settings, engine] = world;
    ASSERT_EQ(platform.hub().devices().size(), 1u);
    CloneReader reader(mouse);

    std::atomic<bool> busy{true};
    std::thread settingsWriter([&] {
        for (int i = 0; busy.load(); ++i) {
            auto s = settings.settings();
            s.scrollBase.reverse = i % 2;
            s.scrollAdvanced.step = 60 + i % 60;
            if (i % 3 == 0)
                s.appSettings.exceptionalApplication = {std::make_shared<settings::ExceptionalApplication>("glidemark")};
            settings.setSettings(std::move(s));
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    std::thread modifiers([&] {
        auto& taps = static_cast<platform::linux_input::LinuxEventTaps&>(platform.eventTaps());
        for (int i = 0; busy.load(); ++i) {
            auto e = std::make_shared<platform::FieldTableEvent>(EventType::FlagsChanged, i % 2 ? platform::flag::control : 0);
            e->setIntegerValue(platform::field::keyboardKeycode, 59);
            taps.flagsChanged(e);
            std::this_thread::sleep_for(std::chrono::microseconds(700));
        }
    });
    std::thread restarts([&] {
        for (int i = 0; busy.load(); ++i) {
            platform.runOnEngineThread([&, i] { i % 2 ? engine->core.start() : engine->core.end(); });
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        platform.runOnEngineThread([&] { engine->core.start(); });
    });

    int buttons = 0;
    for (int i = 1; i <= kNotches; ++i) {
        mouse.send({ev(EV_REL, REL_WHEEL, i % 500 < 250 ? 1 : -1), syn()});
        if (i % 10 == 0) mouse.send({ev(EV_REL, REL_X, i), ev(EV_REL, REL_Y, 1), syn()});
        if (i % 1000 == 0) {
            mouse.send({ev(EV_KEY, BTN_LEFT, 1), syn()});
            mouse.send({ev(EV_KEY, BTN_LEFT, 0), syn()});
            buttons += 2;
        }
    }
    busy = false;
    settingsWriter.join();
    modifiers.join();
    restarts.join();
    platform.hub().sync();
    platform.engineLoop().runSync([] {});
    const auto stats = platform.hub().stats();
    platform.engineLoop().runSync([&] { engine->core.end(); });
    platform.shutdown();
    const std::vector<Frame> frames = reader.stop();

    auto count = checkFrames(frames);
    EXPECT_EQ(count[REL_X], kNotches / 10);
    EXPECT_EQ(count[BTN_LEFT], buttons);
    EXPECT_EQ(stats.scrollsTapped + stats.scrollsPassed, static_cast<std::uint64_t>(kNotches));
    EXPECT_GT(stats.scrollsTapped, 0u) << "the engine saw notches";
}

// A frame is computed, summed and written by the display clock's thread
// alone, and touches the heap not once: 1,000 frames at 1,000 Hz after warm-up.
TEST(EngineOnLinux, FramesAllocateNothing) {
    EngineOnFakeMouse world("frame-mouse", 1000);
    auto s = world.settings.settings();
    s.scrollAdvanced.step = 40000;  // a long, steady scroll: every frame writes
    s.scrollAdvanced.duration = 20000;
    s.scrollBase.animationEasing = false;
    world.settings.setSettings(s);
    world.mouse.send({ev(EV_REL, REL_WHEEL, 1), syn()});
    auto waitForFrames = [&](std::size_t count) {
        std::size_t seen = 0;
        for (int waited = 0; seen < count && waited < 30000; waited += 5) {
            pollfd p{world.mouse.cloneReadFd, POLLIN, 0};
            poll(&p, 1, 5);
            seen += world.mouse.cloneFrames().size();
        }
        return seen;
    };
    ASSERT_GE(waitForFrames(200), 200u);
    const long before = frameThreadAllocations();
    ASSERT_GE(waitForFrames(1000), 1000u);
    EXPECT_EQ(frameThreadAllocations() - before, 0);
}

// Many frames through the fake device path while another thread posts
// animation frames and the tap is switched off and on: no frame may be lost,
// none may be torn, and (under ThreadSanitizer) nothing may race.
std::atomic<int> swallowed{0};

EventRef swallowAll(TapProxy, EventType, const EventRef&, void*) {
    ++swallowed;
    return nullptr;
}

TEST(LinuxStress, TicksPostsAndTapTogglesLoseAndTearNothing) {
    constexpr int kFrames = 4000;
    FakeMouse mouse("stress-mouse");
    LinuxPlatform platform(std::make_unique<FakeBackend>(mouse), std::make_unique<FakeMonitor>(mouse.id),
                           DeviceHub::Options{0.0});

    std::shared_ptr<platform::EventTap> tap;
    platform.engineLoop().runSync([&] {
        tap = platform.eventTaps().createTap({.mask = platform::eventMaskBit(EventType::ScrollWheel), .callback = swallowAll});
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

    EXPECT_EQ(checkFrames(frames)[REL_X], kFrames - kFrames / 4);
    int passedNotches = 0;
    long hiRes = 0;  // from posts only
    for (const Frame& f : frames) {
        if (f.front().code != REL_WHEEL_HI_RES) continue;
        if (f.front().value == 120) ++passedNotches;  // the tap was off when the hub or the engine saw the notch
        else hiRes += f.front().value;  // posts move 9 or 10 units a frame (60 at a burst start)
    }
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
