// The display clock against its grid: how late each callback runs after its
// absolute deadline (median, 99th percentile, µs), and what the Linux backend
// costs while idle (CPU time and context switches over 10 s with the engine
// thread, the hub thread over a fake mouse and a stopped display link).
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/DisplayClock.h"
#include "platform/linux/FakeDevices.h"
#include "platform/linux/LinuxPlatform.h"

namespace {

std::int64_t nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

struct Probe {
    gm::platform::linux_input::ThreadDisplayLink* link = nullptr;
    std::mutex mutex;
    std::vector<double> lateUs;
    std::vector<std::int64_t> deadlines;
};

void BM_DisplayClockError(benchmark::State& state) {
    const double hz = static_cast<double>(state.range(0));
    for (auto _ : state) {
        gm::platform::linux_input::ThreadDisplayLink link(hz);
        Probe probe;
        probe.link = &link;
        link.setOutputCallback(
            [](void* info) {
                auto* p = static_cast<Probe*>(info);
                const std::int64_t due = p->link->currentDeadline();
                const std::int64_t now = nowNs();
                std::lock_guard lock(p->mutex);
                p->lateUs.push_back(static_cast<double>(now - due) / 1e3);
                p->deadlines.push_back(due);
            },
            &probe);
        link.start();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        link.stop();
        std::lock_guard lock(probe.mutex);
        auto& late = probe.lateUs;
        std::sort(late.begin(), late.end());
        // Drift: deadlines are whole periods after the first one.
        const auto periodNs = static_cast<std::int64_t>(1e9 / hz + 0.5);
        std::int64_t offGrid = 0;
        for (std::int64_t d : probe.deadlines)
            offGrid = std::max(offGrid, std::abs((d - probe.deadlines.front()) % periodNs));
        state.counters["ticks"] = static_cast<double>(late.size());
        state.counters["median_us"] = late[late.size() / 2];
        state.counters["p99_us"] = late[late.size() * 99 / 100];
        state.counters["max_us"] = late.back();
        state.counters["off_grid_ns"] = static_cast<double>(offGrid);
    }
}
BENCHMARK(BM_DisplayClockError)->Arg(60)->Arg(144)->Iterations(1)->Unit(benchmark::kMillisecond);

long contextSwitches() {
    long total = 0;
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return -1;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        std::ifstream status(std::string("/proc/self/task/") + e->d_name + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                total += std::stol(line.substr(line.find(':') + 1));
        }
    }
    closedir(dir);
    return total;
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_IdleCost(benchmark::State& state) {
    using namespace gm::test;
    for (auto _ : state) {
        FakeMouse mouse("idle-mouse");
        auto backend = std::make_unique<FakeBackend>(mouse);
        auto monitor = std::make_unique<FakeMonitor>(mouse.id);
        LinuxPlatform platform(std::move(backend), std::move(monitor));
        platform.startInput();
        platform.hub().sync();
        auto link = platform.displays().createDisplayLink(1);
        link->setOutputCallback([](void*) {}, nullptr);
        link->start();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        link->stop();  // idle: stopped, as between scrolls
        auto queue = platform.createSerialQueue("idle-queue");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));

        const long switches0 = contextSwitches();
        const double cpu0 = cpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        const double cpu = cpuSeconds() - cpu0;
        const long switches = contextSwitches() - switches0;
        state.counters["cpu_ms_per_10s"] = cpu * 1e3;
        state.counters["cpu_percent"] = cpu / 10.0 * 100.0;
        state.counters["ctx_switches_per_10s"] = static_cast<double>(switches);
    }
}
BENCHMARK(BM_IdleCost)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
