// Speed of the engine's per-event and per-frame work, on the simulated desktop.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/ScrollDecision.h"
#include "platform/sim/SimDesktop.h"
#include "replay/Replay.h"
#include "settings/SettingsManager.h"

namespace {

using namespace gm;
using Clock = std::chrono::steady_clock;

void reportPercentiles(benchmark::State& state, std::vector<double>& samples) {
    if (samples.empty()) return;
    std::sort(samples.begin(), samples.end());
    state.counters["p50_ns"] = samples[samples.size() / 2];
    state.counters["p99_ns"] = samples[samples.size() * 99 / 100];
}

struct World {
    World() {
        desktop.simDisplays().setScreen({{0, 0, 1920, 1080}, 1, 60});
        desktop.simWorkspace().launch({4242, "org.example.editor", "Editor", "/usr/bin/editor",
                                       platform::ActivationPolicy::Regular});
        settings = std::make_unique<settings::SettingsManager>(desktop.userDefaults(), desktop.logger(), desktop.clock());
        auto s = settings->settings();
        for (int i = 0; i < 20; ++i)
            s.appSettings.exceptionalApplication.push_back(
                std::make_shared<settings::ExceptionalApplication>("org.example.app" + std::to_string(i)));
        settings->setSettings(s);
        engine = std::make_unique<engine::Engine>(desktop, *settings);
    }
    std::shared_ptr<platform::FieldTableEvent> wheelTick() {
        auto e = platform::sim::SimDesktop::makeScroll(-10, 0, -1, 0, -1.0);
        e->setIntegerValue(platform::field::targetProcessID, 4242);
        e->setLocation({100, 100});
        return e;
    }
    platform::sim::SimDesktop desktop;
    std::unique_ptr<settings::SettingsManager> settings;
    std::unique_ptr<engine::Engine> engine;
};

// Reading both axes, the gesture test and the decision: the part that must not allocate.
void BM_DecisionPath(benchmark::State& state) {
    World w;
    auto event = w.wheelTick();
    auto snapshot = w.settings->snapshot();
    for (auto _ : state) {
        bool gesture = w.engine->utils.isGestureScroll(*event);
        auto exception = engine::matchException(*snapshot, &*w.desktop.workspace()
                                                                 .applicationWithProcessIdentifier(4242)
                                                                 ->bundleIdentifier);
        auto values = engine::effectiveValuesBeforeLaunchpad(*snapshot, exception, false);
        auto Y = engine::readAxis(*event, engine::kAxisY);
        auto X = engine::readAxis(*event, engine::kAxisX);
        auto outcome = engine::decide(*event, Y, X, values);
        benchmark::DoNotOptimize(gesture);
        benchmark::DoNotOptimize(outcome);
    }
}
BENCHMARK(BM_DecisionPath);

// The whole scroll-tap callback for one wheel tick, as the tap calls it.
void BM_ScrollCallback(benchmark::State& state) {
    World w;
    w.engine->core.start();
    std::vector<double> samples;
    samples.reserve(1 << 20);
    auto event = w.wheelTick();
    for (auto _ : state) {
        auto t0 = Clock::now();
        auto result = engine::ScrollCore::scrollEventCallBack(nullptr, platform::EventType::ScrollWheel, event,
                                                               &w.engine->core);
        auto t1 = Clock::now();
        benchmark::DoNotOptimize(result);
        state.PauseTiming();
        samples.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count());
        w.desktop.advance(0.1);  // let the animation run and finish between ticks
        state.ResumeTiming();
    }
    reportPercentiles(state, samples);
}
BENCHMARK(BM_ScrollCallback)->Iterations(20000);

// One display refresh with N live fibers: the frame, its post and the main-queue delivery.
void BM_Frame(benchmark::State& state) {
    World w;
    auto s = w.settings->settings();
    s.scrollAdvanced.duration = 1e12;  // fibers that never finish keep the frame's work constant
    s.scrollAdvanced.accelerationDelta = 0;
    w.settings->setSettings(s);
    w.engine->core.start();
    auto event = w.wheelTick();
    for (long i = 0; i < state.range(0); ++i)
        engine::ScrollCore::scrollEventCallBack(reinterpret_cast<platform::TapProxy>(&w), platform::EventType::ScrollWheel,
                                                event, &w.engine->core);
    w.desktop.scheduler().runDue();
    double frame = 1;
    std::vector<double> samples;
    for (auto _ : state) {
        auto t0 = Clock::now();
        w.desktop.runUntil(frame++ / 60);
        auto t1 = Clock::now();
        samples.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count());
    }
    state.counters["fibers"] = static_cast<double>(w.engine->poster.liveFiberCount());
    reportPercentiles(state, samples);
}
BENCHMARK(BM_Frame)->Arg(1)->Arg(8)->Arg(64);

// Replay speed on a heavy trace: bursts of ticks for 600 virtual seconds.
void BM_ReplaySpeed(benchmark::State& state) {
    std::vector<std::string> trace{R"({"t":0,"kind":"screen","id":1,"frame":[0,0,1920,1080],"hz":120})"};
    for (int i = 0; i < 600 * 20; ++i) {
        const double t = i * 0.05;
        const int dir = (i / 40) % 2 ? 1 : -1;
        trace.push_back(R"({"t":)" + std::to_string(t) + R"(,"kind":"scroll","fields":{"11":)" + std::to_string(dir) +
                        R"(,"96":)" + std::to_string(10 * dir) + R"(},"location":[50,50]})");
    }
    gm::replay::Options options;
    std::size_t lines = 0;
    for (auto _ : state) {
        lines = 0;
        gm::replay::run(
            trace, options, [&](const std::string&) { ++lines; }, [](const std::string&) {});
    }
    state.counters["virtual_s_per_wall_s"] =
        benchmark::Counter(610.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["output_lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_ReplaySpeed)->Unit(benchmark::kMillisecond)->Iterations(3);

// An idle stretch costs the same however long: one tick after 1e11 virtual
// seconds (the taps' keepers would otherwise turn 2e10 times on the way).
void BM_ReplayIdleStretch(benchmark::State& state) {
    const std::vector<std::string> trace{
        R"({"t":0,"kind":"screen","id":1,"frame":[0,0,1920,1080],"hz":60})",
        R"({"t":1e11,"kind":"scroll","fields":{"11":-1,"96":-10},"location":[50,50]})"};
    for (auto _ : state)
        gm::replay::run(trace, {}, [](const std::string&) {}, [](const std::string&) {});
}
BENCHMARK(BM_ReplayIdleStretch)->Unit(benchmark::kMillisecond);

}  // namespace
