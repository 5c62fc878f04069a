// The per-event path runs for every scroll event in the system: reading the
// axes, the gesture test and the decision must not touch the heap.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "engine/Engine.h"
#include "engine/ScrollDecision.h"
#include "platform/sim/SimDesktop.h"
#include "settings/SettingsManager.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace gm::testing {
namespace {

TEST(PerEventPath, AllocatesNothing) {
    platform::sim::SimDesktop desktop;
    desktop.simWorkspace().launch({7, "org.example.editor", "Editor", "/usr/bin/editor", platform::ActivationPolicy::Regular});
    // The daemon runs, so the gesture test consults the (warm) running-application cache.
    desktop.simWorkspace().launch({8, engine::Utils::kMouseDaemonBundleId, "d", std::nullopt,
                                   platform::ActivationPolicy::Accessory});
    settings::SettingsManager manager(desktop.userDefaults(), desktop.logger(), desktop.clock());
    auto s = manager.settings();
    s.scrollBase.reverse = true;
    s.appSettings.exceptionalApplication.push_back(std::make_shared<settings::ExceptionalApplication>("org.example.other"));
    auto editor = std::make_shared<settings::ExceptionalApplication>("org.example.editor");
    editor->setInherit(false);
    s.appSettings.exceptionalApplication.push_back(editor);
    manager.setSettings(s);
    engine::Engine engine(desktop, manager);

    auto wheel = platform::sim::SimDesktop::makeScroll(-10, 3, -1, 0, -1.0);
    wheel->setIntegerValue(platform::field::targetProcessID, 7);
    auto gesture = platform::sim::SimDesktop::makeScroll(-3);
    gesture->setDoubleValue(platform::field::scrollPhase, 2);
    engine.utils.isGestureScroll(*gesture);  // warms the cache
    auto app = engine.scrollUtils.targetApplication(*wheel);
    ASSERT_TRUE(app && app->bundleIdentifier);

    const long before = allocations.load();
    for (int i = 0; i < 1000; ++i) {
        auto snapshot = manager.snapshot();
        bool g1 = engine.utils.isGestureScroll(*wheel);
        bool g2 = engine.utils.isGestureScroll(*gesture);
        auto target = engine.scrollUtils.targetApplication(*wheel);
        auto exception = engine::matchException(*snapshot, &*target->bundleIdentifier);
        auto values = engine::effectiveValuesBeforeLaunchpad(*snapshot, exception, false);
        auto Y = engine::readAxis(*wheel, engine::kAxisY);
        auto X = engine::readAxis(*wheel, engine::kAxisX);
        auto outcome = engine::decide(*wheel, Y, X, values);
        ASSERT_FALSE(g1);
        ASSERT_TRUE(g2);
        ASSERT_EQ(exception, editor);
        ASSERT_TRUE(outcome.schedule);
    }
    EXPECT_EQ(allocations.load() - before, 0);
}

TEST(ScrollCallback, HandsATickOverWithoutAllocating) {
    platform::sim::SimDesktop desktop;
    desktop.simDisplays().setScreen({{0, 0, 1920, 1080}, 1, 60});
    settings::SettingsManager manager(desktop.userDefaults(), desktop.logger(), desktop.clock());
    engine::Engine engine(desktop, manager);
    auto wheel = platform::sim::SimDesktop::makeScroll(-10, 0, -1, 0, -1.0);
    wheel->setLocation({100, 100});
    auto tick = [&] {
        return engine::ScrollCore::scrollEventCallBack(nullptr, platform::EventType::ScrollWheel, wheel, &engine.core);
    };
    // The first ticks size the reused storage: the display link, the screen list, the queues.
    for (int i = 0; i < 100; ++i) {
        tick();
        desktop.advance(0.01);
    }
    long during = 0;
    for (int i = 0; i < 1000; ++i) {
        const long before = allocations.load();
        auto result = tick();
        during += allocations.load() - before;
        ASSERT_EQ(result, nullptr) << "the tick is smoothed";
        desktop.advance(0.01);  // frames run (and may allocate) outside the measured call
    }
    EXPECT_EQ(during, 0);
}

}  // namespace
}  // namespace gm::testing
