// Latency of the Linux device path over fake mice: from a frame written into
// the mouse to the same frame read back from its clone. Reports the median and
// the 99th percentile in microseconds.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <time.h>

#include <algorithm>
#include <vector>

#include "platform/linux/DeviceHub.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/FakeDevices.h"

namespace {

using namespace gm::test;

double nowUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

void waitForClone(const FakeMouse& mouse) {
    pollfd p{mouse.cloneReadFd, POLLIN, 0};
    poll(&p, 1, 1000);
    input_event buf[64];
    [[maybe_unused]] auto n = ::read(mouse.cloneReadFd, buf, sizeof buf);
}

void report(benchmark::State& state, std::vector<double>& samples) {
    std::sort(samples.begin(), samples.end());
    if (samples.empty()) return;
    state.counters["median_us"] = samples[samples.size() / 2];
    state.counters["p99_us"] = samples[samples.size() * 99 / 100];
    state.counters["max_us"] = samples.back();
}

// Motion frames: read on the hub's thread, written to the clone at once.
void BM_ForwardMotionFrame(benchmark::State& state) {
    FakeMouse mouse("bench-mouse");
    FakeBackend backend(mouse);
    FakeMonitor monitor(mouse.id);
    DeviceHub hub(backend, monitor, DeviceHub::Options{0.0});
    hub.start();
    hub.sync();
    std::vector<double> samples;
    samples.reserve(100000);
    const Frame frame{ev(EV_REL, REL_X, 1), ev(EV_REL, REL_Y, 1), syn()};
    for (auto _ : state) {
        const double t0 = nowUs();
        mouse.send(frame);
        waitForClone(mouse);
        samples.push_back(nowUs() - t0);
    }
    hub.stop();
    report(state, samples);
}
BENCHMARK(BM_ForwardMotionFrame)->Iterations(20000)->Unit(benchmark::kMicrosecond);

gm::platform::EventRef passThrough(gm::platform::TapProxy, gm::platform::EventType, const gm::platform::EventRef& e,
                                   void*) {
    return e;
}

// A wheel notch: hub thread, then the tap on the engine thread, then re-emitted on the clone.
void BM_TapRoundTrip(benchmark::State& state) {
    FakeMouse mouse("bench-mouse");
    auto backend = std::make_unique<FakeBackend>(mouse);
    auto monitor = std::make_unique<FakeMonitor>(mouse.id);
    LinuxPlatform platform(std::move(backend), std::move(monitor), DeviceHub::Options{0.0});
    gm::platform::TapSpec spec;
    spec.mask = gm::platform::eventMaskBit(gm::platform::EventType::ScrollWheel);
    spec.callback = passThrough;
    std::shared_ptr<gm::platform::EventTap> tap;
    platform.engineLoop().runSync([&] {
        tap = platform.eventTaps().createTap(spec);
        platform.currentRunLoop().addSource(tap->createRunLoopSource());
    });
    platform.hub().sync();
    std::vector<double> samples;
    samples.reserve(100000);
    const Frame notch{ev(EV_REL, REL_WHEEL, 1), syn()};
    for (auto _ : state) {
        const double t0 = nowUs();
        mouse.send(notch);
        waitForClone(mouse);
        samples.push_back(nowUs() - t0);
    }
    platform.shutdown();
    report(state, samples);
}
BENCHMARK(BM_TapRoundTrip)->Iterations(20000)->Unit(benchmark::kMicrosecond);

}  // namespace
