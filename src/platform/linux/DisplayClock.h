#pragma once
// Display clocks: one thread per link, ticking on a fixed grid of absolute
// deadlines at the display's refresh rate. A stopped link's thread sleeps on a
// condition variable, so an idle program wakes nothing.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Services.h"

namespace gm::platform::linux_input {

class ThreadDisplayLink final : public DisplayLink {
public:
    explicit ThreadDisplayLink(double refreshRate);
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

private:
    mutable std::mutex mutex_;
    std::function<void(std::vector<Screen>&)> provider_;
};

}  // namespace gm::platform::linux_input
