#include "platform/sim/SimRunLoop.h"

#include <algorithm>

#include "platform/sim/Scheduler.h"

namespace gm::platform::sim {

namespace {

class SimTimer final : public Timer, public std::enable_shared_from_this<SimTimer> {
public:
    SimTimer(Scheduler& scheduler, double interval, bool repeats, std::function<void()> block)
        : scheduler_(scheduler), interval_(interval), repeats_(repeats), block_(std::move(block)),
          start_(scheduler.now()) {}

    void arm() {
        ++fires_;
        // The scheduled task owns the timer, as a run loop owns its timers until they are invalidated.
        task_ = scheduler_.schedule(start_ + static_cast<double>(fires_) * interval_,
                                    [self = shared_from_this()] { self->fire(); });
    }
    void invalidate() override {
        if (!valid_) return;
        valid_ = false;
        scheduler_.cancel(task_);
    }
    bool isValid() const override { return valid_; }

private:
    void fire() {
        if (!valid_) return;
        if (!repeats_) valid_ = false;
        else arm();
        auto keepAlive = shared_from_this();
        block_();
    }

    Scheduler& scheduler_;
    double interval_;
    bool repeats_;
    std::function<void()> block_;
    double start_;
    long fires_ = 0;
    Scheduler::TaskId task_ = 0;
    bool valid_ = true;
};

}  // namespace

bool SimRunLoop::containsSource(const RunLoopSource& source) const {
    return std::any_of(sources_.begin(), sources_.end(), [&](const auto& s) { return s.get() == &source; });
}

void SimRunLoop::addSource(const std::shared_ptr<RunLoopSource>& source) {
    if (source && !containsSource(*source)) sources_.push_back(source);
}

void SimRunLoop::removeSource(const RunLoopSource& source) {
    std::erase_if(sources_, [&](const auto& s) { return s.get() == &source; });
}

std::shared_ptr<Timer> SimRunLoop::scheduleTimer(double interval, bool repeats, std::function<void()> block) {
    // A zero or negative repeating interval would spin forever at one instant; such a timer fires once.
    if (!(interval > 0)) {
        interval = 0;
        repeats = false;
    }
    auto timer = std::make_shared<SimTimer>(scheduler_, interval, repeats, std::move(block));
    timer->arm();
    return timer;
}

}  // namespace gm::platform::sim
