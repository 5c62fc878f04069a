// The frame path of the Linux backend, side by side with a plain smoother.
//
// The real backend (engine thread, poster queue, display clock, device hub)
// runs the real engine over a fake mouse whose twin records each write with
// its time; a simulated display refreshes at 60 or 144 Hz (nominal, really
// 0.1 % slower, as monitors are) from a random phase, and the display clock is
// told when it refreshes. The reference, in the same process under the same
// load, is what a simple smoother does: a 2 ms timer loop that eases each notch
// over the same 350 ms and writes whenever the rounded distance moved.
//
// For one notch and for five notches 30 ms apart (and once more with the
// engine thread stalled 100 ms mid-animation) it prints: wake-ups per second
// of each thread while animating and at rest; units written per notch; the
// share of display refreshes that got no write or two and more while
// animating; the largest write relative to the ideal eased step over the time
// since the previous write; the time from a refresh to its write and the
// processor time a write cost (p50, p99). Run: build/default/bench/linux_frame_path_bench
#include <dirent.h>
#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/AnimationFunctions.h"
#include "engine/Engine.h"
#include "platform/linux/FakeDevices.h"
#include "platform/linux/LinuxPlatform.h"
#include "settings/SettingsManager.h"

namespace {
using namespace gm::test;
using gm::platform::linux_input::LinuxPlatform;

double now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double threadCpu() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Write {
    double t;
    int units;
    double cpu;  // the writing thread's processor time so far
};

// Every write to a twin, with its time.
class Recorder {
public:
    void add(int units) {
        const double cpu = threadCpu();
        std::lock_guard lock(mutex_);
        writes_.push_back({now(), units, cpu});
    }
    std::vector<Write> take() {
        std::lock_guard lock(mutex_);
        return std::exchange(writes_, {});
    }

private:
    std::mutex mutex_;
    std::vector<Write> writes_;
};

class RecordingSink final : public OutputSink {
public:
    explicit RecordingSink(Recorder& r) : recorder_(r) {}
    bool writeFrame(std::span<const input_event> frame) override {
        int units = 0;
        for (const auto& e : frame)
            if (e.type == EV_REL && e.code == REL_WHEEL_HI_RES) units += e.value;
        if (units) recorder_.add(units);
        return true;
    }

private:
    Recorder& recorder_;
};

class RecordingBackend final : public DeviceBackend {
public:
    RecordingBackend(FakeMouse& mouse, Recorder& recorder) : fakes_(mouse), recorder_(recorder) {}
    std::unique_ptr<InputSource> open(const DeviceInfo& info) override { return fakes_.open(info); }
    std::unique_ptr<OutputSink> createClone(InputSource&) override { return std::make_unique<RecordingSink>(recorder_); }
    bool accessible() const override { return true; }

private:
    FakeBackend fakes_;
    Recorder& recorder_;
};

// Context switches per thread name, for wake-ups.
std::map<std::string, long> switchesByThread() {
    std::map<std::string, long> out;
    DIR* dir = opendir("/proc/self/task");
    while (dirent* e = dir ? readdir(dir) : nullptr) {
        if (e->d_name[0] == '.') continue;
        const std::string task = std::string("/proc/self/task/") + e->d_name;
        std::string name;
        std::getline(std::ifstream(task + "/comm"), name);
        std::ifstream status(task + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                out[name] += std::stol(line.substr(line.find(':') + 1));
    }
    if (dir) closedir(dir);
    return out;
}

// The plain smoother: a 2 ms timer loop easing each notch over 350 ms.
class ReferenceSmoother {
public:
    explicit ReferenceSmoother(Recorder& r) : recorder_(r), thread_([this] { run(); }) {}
    ~ReferenceSmoother() {
        quit_ = true;
        thread_.join();
    }
    void notch() {
        std::lock_guard lock(mutex_);
        ticks_.push_back({now(), 0});
    }

private:
    struct Tick {
        double start;
        long done;
    };
    void run() {
        pthread_setname_np(pthread_self(), "ref-smoother");
        timespec next{};
        clock_gettime(CLOCK_MONOTONIC, &next);
        while (!quit_) {
            next.tv_nsec += 2'000'000;
            if (next.tv_nsec >= 1'000'000'000) {
                next.tv_nsec -= 1'000'000'000;
                ++next.tv_sec;
            }
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
            std::lock_guard lock(mutex_);
            long units = 0;
            const double t = now();
            for (Tick& tick : ticks_) {
                const double p = std::min(1.0, (t - tick.start) / 0.350);
                const long at = std::lround(120 * gm::engine::AnimationFunctions::viscousFluid(p));
                units += at - tick.done;
                tick.done = at;
            }
            std::erase_if(ticks_, [&](const Tick& k) { return t - k.start >= 0.350; });
            if (units) recorder_.add(static_cast<int>(units));
        }
    }
    Recorder& recorder_;
    std::mutex mutex_;
    std::vector<Tick> ticks_;
    std::atomic<bool> quit_{false};
    std::thread thread_;
};

struct Figures {
    double unitsPerNotch = 0, zeroShare = 0, multiShare = 0, worstJump = 0, latencyP50 = 0, latencyP99 = 0;
    double costP50 = 0, costP99 = 0;  // processor time from one write to the next, µs
};

// What the writes of one scroll look like against the display's refreshes.
Figures judge(const std::vector<Write>& writes, int notches, double displayPhase, double displayPeriod,
              const std::vector<double>& tickTimes) {
    Figures f;
    if (writes.empty()) return f;
    long total = 0;
    for (const Write& w : writes) total += w.units;
    f.unitsPerNotch = static_cast<double>(total) / notches;
    // Refreshes from the first write to the last: how many writes each one got.
    const auto refreshOf = [&](double t) { return static_cast<long>(std::floor((t - displayPhase) / displayPeriod)); };
    const long first = refreshOf(writes.front().t), last = refreshOf(writes.back().t);
    std::map<long, int> perRefresh;
    std::vector<double> latency;
    for (const Write& w : writes) {
        ++perRefresh[refreshOf(w.t)];
        latency.push_back((w.t - (displayPhase + static_cast<double>(refreshOf(w.t)) * displayPeriod)) * 1e3);
    }
    long zero = 0, multi = 0;
    for (long r = first; r <= last; ++r) {
        const int n = perRefresh.count(r) ? perRefresh[r] : 0;
        zero += n == 0;
        multi += n >= 2;
    }
    const double refreshes = static_cast<double>(last - first + 1);
    f.zeroShare = 100.0 * static_cast<double>(zero) / refreshes;
    f.multiShare = 100.0 * static_cast<double>(multi) / refreshes;
    // The ideal: every notch eased over 350 ms; a write should carry what the
    // curves moved since the previous write.
    auto ideal = [&](double t) {
        double u = 0;
        for (double s : tickTimes) u += 120 * gm::engine::AnimationFunctions::viscousFluid(std::clamp((t - s) / 0.350, 0.0, 1.0));
        return u;
    };
    // The first write of a scroll is left out: from rest the desktop holds
    // back half a notch either way (glidemark writes it at once; a plain
    // smoother's first writes are held and then released together).
    for (std::size_t i = 1; i < writes.size(); ++i) {
        const double step = std::max(1.0, ideal(writes[i].t) - ideal(writes[i - 1].t));
        f.worstJump = std::max(f.worstJump, std::abs(writes[i].units) / step);
    }
    std::sort(latency.begin(), latency.end());
    f.latencyP50 = latency[latency.size() / 2];
    f.latencyP99 = latency[latency.size() * 99 / 100];
    // Each smoother writes from one thread, which does nothing else: what it
    // spent between two writes is what one write cost.
    std::vector<double> cost;
    for (std::size_t i = 1; i < writes.size(); ++i) cost.push_back((writes[i].cpu - writes[i - 1].cpu) * 1e6);
    std::sort(cost.begin(), cost.end());
    if (!cost.empty()) {
        f.costP50 = cost[cost.size() / 2];
        f.costP99 = cost[cost.size() * 99 / 100];
    }
    return f;
}

void scenario(double hz, int notches, bool stall, std::mt19937& rng) {
    FakeMouse mouse("bench-mouse");
    Recorder ours, theirs;
    auto monitor = std::make_unique<FakeMonitor>(mouse.id);
    LinuxPlatform platform(std::make_unique<RecordingBackend>(mouse, ours), std::move(monitor),
                           gm::platform::linux_input::DeviceHub::Options{0.0});
    // The display: nominally `hz`, really a little slower, from a random phase.
    const double period = 1.0 / (hz * 0.999);
    const double phase = now() - std::uniform_real_distribution<double>(0, period)(rng);
    platform.setScreens([hz](std::vector<gm::platform::Screen>& out) { out.push_back({{0, 0, 1920, 1080}, 1, hz}); });
    platform.setRefreshPhase([phase, period](gm::platform::DisplayID) {
        const double t = now();
        return std::optional<std::int64_t>(std::llround((phase + std::floor((t - phase) / period) * period) * 1e9));
    });
    gm::settings::SettingsManager settings(platform.userDefaults(), platform.logger(), platform.clock());
    auto s = settings.settings();
    s.scrollAdvanced.accelerationLimit = 1;  // the reference does not accelerate
    settings.setSettings(s);
    gm::engine::Engine engine(platform, settings);
    platform.engineLoop().runSync([&] { engine.core.start(); });
    platform.hub().sync();
    ReferenceSmoother reference(theirs);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    ours.take();
    theirs.take();

    const auto before = switchesByThread();
    const double start = now();
    std::vector<double> tickTimes;
    for (int i = 0; i < notches; ++i) {
        if (i) std::this_thread::sleep_for(std::chrono::milliseconds(30));
        tickTimes.push_back(now());
        mouse.send({ev(EV_REL, REL_WHEEL, 1), syn()});
        reference.notch();
    }
    if (stall) platform.runOnEngineThread([] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(450 + 30 * notches));
    const double animating = now() - start;
    const auto during = switchesByThread();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const auto after = switchesByThread();
    const double rest = 2.0;

    const std::vector<Write> ourWrites = ours.take();
    // Wake-ups per refresh over the refreshes the animation spanned.
    const double refreshes = ourWrites.empty() ? 1.0 : (ourWrites.back().t - start) / period + 1;
    const Figures a = judge(ourWrites, notches, phase, period, tickTimes);
    const Figures b = judge(theirs.take(), notches, phase, period, tickTimes);
    std::printf("\n%g Hz, %d notch%s%s\n", hz, notches, notches > 1 ? "es 30 ms apart" : "",
                stall ? ", engine thread stalled 100 ms" : "");
    std::printf("  %-34s %12s %12s %8s\n", "", "glidemark", "reference", "ratio");
    auto row = [](const char* what, double x, double y) {
        std::printf("  %-34s %12.2f %12.2f %8.2f\n", what, x, y, y != 0 ? x / y : 0.0);
    };
    row("units per notch (120 = one)", a.unitsPerNotch, b.unitsPerNotch);
    row("refreshes with no write, %", a.zeroShare, b.zeroShare);
    row("refreshes with 2+ writes, %", a.multiShare, b.multiShare);
    row("largest write / ideal step, after 1st", a.worstJump, b.worstJump);
    row("refresh to write p50, ms", a.latencyP50, b.latencyP50);
    row("refresh to write p99, ms", a.latencyP99, b.latencyP99);
    row("processor time per write p50, us", a.costP50, b.costP50);
    row("processor time per write p99, us", a.costP99, b.costP99);
    long oursAnimating = 0, oursRest = 0;
    for (const auto& [name, count] : during) {
        const long d = count - (before.count(name) ? before.at(name) : 0);
        const long r = (after.count(name) ? after.at(name) : 0) - count;
        if (name.rfind("gm-", 0) == 0 || name.rfind("ScrollPoster", 0) == 0) {
            std::printf("  wake-ups/s %-23s %12.1f %12s   at rest %.1f/s\n", name.c_str(), static_cast<double>(d) / animating, "",
                        static_cast<double>(r) / rest);
            oursAnimating += d;
            oursRest += r;
        }
    }
    const long refAnimating = during.count("ref-smoother") ? during.at("ref-smoother") - before.at("ref-smoother") : 0;
    row("wake-ups/s, all threads, animating", static_cast<double>(oursAnimating) / animating,
        static_cast<double>(refAnimating) / animating);
    const long clockWakes = during.count("gm-displaylink") ? during.at("gm-displaylink") - (before.count("gm-displaylink") ? before.at("gm-displaylink") : 0) : 0;
    std::printf("  %-34s %12.2f %12.2f\n", "wake-ups per refresh, all threads",
                static_cast<double>(oursAnimating) / refreshes, static_cast<double>(refAnimating) / refreshes);
    std::printf("  %-34s %12.2f %12s   (the rest: per notch, not per frame)\n", "wake-ups per refresh, frames",
                static_cast<double>(clockWakes) / refreshes, "");
    // Any design that reads a notch when it arrives wakes for it at least once,
    // on top of one wake-up per refresh for the frames.
    std::printf("  %-34s %12.2f %12s   (one per refresh and one per notch)\n", "wake-ups per refresh, floor",
                (refreshes + notches) / refreshes, "");
    std::printf("  %-34s %12.1f %12.1f\n", "wake-ups/s, all threads, at rest", static_cast<double>(oursRest) / rest,
                static_cast<double>((after.count("ref-smoother") ? after.at("ref-smoother") : 0) -
                                    (during.count("ref-smoother") ? during.at("ref-smoother") : 0)) / rest);
    platform.engineLoop().runSync([&] { engine.core.end(); });
    platform.shutdown();
}

}  // namespace

int main() {
    std::mt19937 rng(std::random_device{}());
    for (double hz : {60.0, 144.0}) {
        scenario(hz, 1, false, rng);
        scenario(hz, 5, false, rng);
        scenario(hz, 5, true, rng);
    }
    return 0;
}
