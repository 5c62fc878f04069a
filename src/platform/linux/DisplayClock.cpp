#include "platform/linux/DisplayClock.h"

#include <pthread.h>
#include <sys/prctl.h>
#include <time.h>

#include <cerrno>
#include <cmath>
#include <limits>
#include <mutex>

#include "platform/Log.h"

namespace gm::platform::linux_input {

namespace {
std::int64_t nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

thread_local double tlFrameTime = std::numeric_limits<double>::quiet_NaN();

// The last grid point at or before `now`, on a grid a quarter of a period
// after each refresh through `anchor`: well inside the frame the desktop is
// about to draw, and clear of the refresh itself, where jitter and a display
// a little slower than its nominal rate would put a write on either side.
std::int64_t alignedOrigin(std::int64_t anchor, std::int64_t now, std::int64_t periodNs) {
    anchor += periodNs / 4;
    const std::int64_t behind = now - anchor;
    const std::int64_t whole = behind >= 0 ? behind / periodNs : -((-behind + periodNs - 1) / periodNs);
    return anchor + whole * periodNs;
}
}  // namespace

double currentFrameTime() { return tlFrameTime; }

FrameTimeScope::FrameTimeScope(double frameTime) : saved_(tlFrameTime) { tlFrameTime = frameTime; }

FrameTimeScope::~FrameTimeScope() { tlFrameTime = saved_; }

ThreadDisplayLink::ThreadDisplayLink(double refreshRate, RefreshPhase phase)
    : period_(std::isfinite(refreshRate) && refreshRate >= 1.0 && refreshRate <= 1000.0 ? 1.0 / refreshRate
                                                                                         : 1.0 / 60.0),
      phase_(std::move(phase)) {
    thread_ = std::thread([this] { run(); });
}

ThreadDisplayLink::~ThreadDisplayLink() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        running_ = false;
    }
    cv_.notify_all();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }
}

void ThreadDisplayLink::setOutputCallback(DisplayLinkCallback callback, void* userInfo) {
    std::lock_guard lock(mutex_);
    callback_ = callback;
    userInfo_ = userInfo;
}

void ThreadDisplayLink::start() {
    {
        std::lock_guard lock(mutex_);
        if (running_) return;
        running_ = true;
        ++generation_;
    }
    cv_.notify_all();
}

void ThreadDisplayLink::stop() {
    std::unique_lock lock(mutex_);
    running_ = false;
    ++generation_;
    if (std::this_thread::get_id() == thread_.get_id()) return;
    cv_.wait(lock, [&] { return !inCallback_; });
}

bool ThreadDisplayLink::isRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

void ThreadDisplayLink::run() {
    pthread_setname_np(pthread_self(), "gm-displaylink");
    // Wake as close to each deadline as the kernel can.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    const auto periodNs = static_cast<std::int64_t>(std::llround(period_ * 1e9));
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (!running_) {
            cv_.wait(lock, [&] { return running_ || quit_; });
            continue;
        }
        const std::uint64_t generation = generation_;
        // The grid runs through the display's last refresh where the desktop
        // knows it, else from start(); it never drifts, and a late wake-up
        // skips the missed ticks instead of bunching them.
        std::int64_t origin = nowNs();
        if (phase_) {
            lock.unlock();
            const std::optional<std::int64_t> refresh = phase_();
            lock.lock();
            if (refresh) origin = alignedOrigin(*refresh, nowNs(), periodNs);
        }
        std::int64_t tick = 1;
        while (running_ && generation == generation_ && !quit_) {
            std::int64_t due = origin + tick * periodNs;
            lock.unlock();
            timespec ts{};
            ts.tv_sec = due / 1'000'000'000;
            ts.tv_nsec = due % 1'000'000'000;
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
            }
            lock.lock();
            if (!running_ || generation != generation_ || quit_) break;
            if (nowNs() - due > periodNs) {
                // Its refresh has gone by: skip to the next one rather than show it late.
                tick = (nowNs() - origin) / periodNs + 1;
                continue;
            }
            DisplayLinkCallback callback = callback_;
            void* userInfo = userInfo_;
            inCallback_ = true;
            deadline_.store(due);
            lock.unlock();
            if (callback) {
                FrameTimeScope frame(static_cast<double>(due) * 1e-9);
                callback(userInfo);
            }
            lock.lock();
            inCallback_ = false;
            cv_.notify_all();
            const std::int64_t now = nowNs();
            tick = (now - origin) / periodNs + 1;
        }
    }
}

void DefaultDisplays::setProvider(std::function<void(std::vector<Screen>&)> provider) {
    std::lock_guard lock(mutex_);
    provider_ = std::move(provider);
}

void DefaultDisplays::screens(std::vector<Screen>& out) const {
    out.clear();
    {
        std::lock_guard lock(mutex_);
        if (provider_) provider_(out);
    }
    if (!out.empty()) return;
    Screen screen;
    screen.frame = Rect{0, 0, 1920, 1080};
    screen.displayID = 1;
    screen.refreshRate = 60.0;
    out.push_back(screen);
}

void DefaultDisplays::setRefreshPhase(std::function<std::optional<std::int64_t>(DisplayID)> phase) {
    std::lock_guard lock(mutex_);
    phase_ = std::move(phase);
}

std::unique_ptr<DisplayLink> DefaultDisplays::createDisplayLink(DisplayID display) {
    std::vector<Screen> all;
    screens(all);
    std::function<std::optional<std::int64_t>(DisplayID)> phase;
    {
        std::lock_guard lock(mutex_);
        phase = phase_;
    }
    if (!phase) {
        static std::once_flag once;
        std::call_once(once, [] {
            log().info("Display clock: this desktop does not say when the screen refreshes; frames keep their own grid");
        });
    }
    for (const Screen& s : all) {
        if (!s.displayID || *s.displayID != display) continue;
        RefreshPhase refresh;
        if (phase) refresh = [phase, display] { return phase(display); };
        return std::make_unique<ThreadDisplayLink>(s.refreshRate, std::move(refresh));
    }
    return nullptr;
}

}  // namespace gm::platform::linux_input
