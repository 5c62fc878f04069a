// The real Linux threads (engine loop, poster queue, display clock, device
// hub) driven through a fake mouse with the real engine: under ThreadSanitizer
// nothing may race; in any build no frame may be lost or torn, every notch is
// either tapped or passed, and frames touch no heap.
#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
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

}  // namespace
}  // namespace gm::test
