// The per-event path runs for every scroll event in the system: reading the
// axes, the gesture test, the target and exception lookups and the decision
// must not touch the heap.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "engine/Engine.h"
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

using platform::sim::SimDesktop;

TEST(ScrollCallback, HandsTicksOverWithoutAllocating) {
    SimDesktop desktop;
    desktop.simDisplays().setScreen({{0, 0, 1920, 1080}, 1, 60});
    desktop.simWorkspace().launch({7, "org.example.editor", "Editor", "/usr/bin/editor", {}});
    desktop.simWorkspace().launch({9, "org.example.viewer", "Viewer", "/usr/bin/viewer", {}});
    // The daemon runs, so the gesture test consults the (warm) running-application cache.
    desktop.simWorkspace().launch({8, engine::Utils::kMouseDaemonBundleId, "d", std::nullopt,
                                   platform::ActivationPolicy::Accessory});
    settings::SettingsManager manager(desktop.userDefaults(), desktop.logger(), desktop.clock());
    auto s = manager.settings();
    s.scrollBase.reverse = true;
    // The editor's exception, second in the list, turns smoothing off for it.
    s.appSettings.exceptionalApplication = {
        std::make_shared<settings::ExceptionalApplication>("org.example.other"),
        std::make_shared<settings::ExceptionalApplication>("org.example.editor", settings::ScrollBase{.smooth = false},
                                                           settings::ScrollAdvanced{}, false)};
    manager.setSettings(s);
    engine::Engine engine(desktop, manager);

    // Ticks on both axes over the editor and the viewer, and a gesture.
    auto wheel = [](std::int64_t pid) {
        auto e = SimDesktop::makeScroll(-10, 3, -1, 0, -1.0);
        e->setIntegerValue(platform::field::targetProcessID, pid);
        e->setLocation({100, 100});
        return e;
    };
    const auto overEditor = wheel(7), overViewer = wheel(9), gesture = SimDesktop::makeScroll(-3);
    gesture->setDoubleValue(platform::field::scrollPhase, 2);
    std::vector<platform::EventRef> results(3);
    auto tick = [&] {
        std::size_t i = 0;
        for (const auto& e : {overEditor, overViewer, gesture})
            results[i++] = engine::ScrollCore::scrollEventCallBack({}, platform::EventType::ScrollWheel, e, &engine.core);
    };
    // The first ticks size the reused storage: the display link, the screen list, the queues, the caches.
    for (int i = 0; i < 100; ++i) tick(), desktop.advance(0.01);
    long during = 0;
    for (int i = 0; i < 1000; ++i) {
        const long before = allocations.load();
        tick();
        during += allocations.load() - before;
        ASSERT_EQ(results, (std::vector<platform::EventRef>{overEditor, nullptr, gesture}))
            << "the editor's exception passes its tick, the viewer's is smoothed, the gesture passes";
        desktop.advance(0.01);  // frames run (and may allocate) outside the measured calls
    }
    EXPECT_EQ(during, 0);
}

}  // namespace
}  // namespace gm::testing
