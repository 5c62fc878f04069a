#pragma once
// Display clocks: one thread per link, ticking on a fixed grid of absolute
// deadlines at the display's refresh rate, lined up with the display's own
// refreshes where the desktop says when they happen. A tick that comes more
// than a period late is skipped, never doubled. A stopped link's thread sleeps
// on a condition variable, so an idle program wakes nothing.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/Services.h"

namespace gm::platform::linux_input {

// The time a frame is computed for: the refresh it will be shown on, in
// CLOCK_MONOTONIC seconds. NaN outside a frame. While a display link's
// callback runs (and while a block it queued runs, wherever that is), the
// platform's media clock reads this instead of the time of day, so a frame
// that runs late still shows what belongs to its refresh.
double currentFrameTime();
class FrameTimeScope {
public:
    explicit FrameTimeScope(double frameTime);
    ~FrameTimeScope();
    FrameTimeScope(const FrameTimeScope&) = delete;
    FrameTimeScope& operator=(const FrameTimeScope&) = delete;

private:
    double saved_;
};

// When the display last refreshed (CLOCK_MONOTONIC nanoseconds), where the
// desktop can tell; a display link lines its ticks up with it.
using RefreshPhase = std::function<std::optional<std::int64_t>()>;

class ThreadDisplayLink final : public DisplayLink {
public:
    explicit ThreadDisplayLink(double refreshRate, RefreshPhase phase = nullptr);
    ~ThreadDisplayLink() override;

    void setOutputCallback(DisplayLinkCallback callback, void* userInfo) override;
    void start() override;
    // No callback begins after stop() returns, and one that is running on
    // another thread has finished by then. Called from inside the callback it
    // only prevents further callbacks (waiting for itself would deadlock).
    void stop() override;
    bool isRunning() const override;

    double period() const { return period_; }
    // Absolute deadline (CLOCK_MONOTONIC nanoseconds) of the callback in progress; for measurements.
    std::int64_t currentDeadline() const { return deadline_.load(); }

private:
    void run();

    const double period_;
    const RefreshPhase phase_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    DisplayLinkCallback callback_ = nullptr;
    void* userInfo_ = nullptr;
    bool running_ = false;
    bool quit_ = false;
    bool inCallback_ = false;
    std::uint64_t generation_ = 0;
    std::atomic<std::int64_t> deadline_{0};
    std::thread thread_;
};

// Screens as far as they are known without a display server connection: one
// screen at the origin, refreshing at 60 Hz.
// The screens come from a provider (the desktop's, e.g. XRandR) when one is
// set; without one, or when it knows none, a single 60 Hz screen stands in.
class DefaultDisplays final : public Displays {
public:
    void screens(std::vector<Screen>& out) const override;
    std::unique_ptr<DisplayLink> createDisplayLink(DisplayID display) override;
    void setProvider(std::function<void(std::vector<Screen>&)> provider);
    // Where the desktop can tell when a display refreshes; without it (or when
    // it does not know) the links keep their own grid, and the log says so once.
    void setRefreshPhase(std::function<std::optional<std::int64_t>(DisplayID)> phase);

private:
    mutable std::mutex mutex_;
    std::function<void(std::vector<Screen>&)> provider_;
    std::function<std::optional<std::int64_t>(DisplayID)> phase_;
};

}  // namespace gm::platform::linux_input
