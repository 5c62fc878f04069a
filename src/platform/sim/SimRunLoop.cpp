#include "platform/sim/SimRunLoop.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

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
        // A repeating timer is a poll (the keepers of the event taps are the only ones).
        const double due = start_ + static_cast<double>(fires_) * interval_;
        auto run = [self = shared_from_this()] { self->fire(); };
        task_ = repeats_ ? scheduler_.schedulePoll(due, std::move(run)) : scheduler_.schedule(due, std::move(run));
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
        if (repeats_ && lookedAt_ == scheduler_.changes()) {
            // Nothing has changed since this timer last found nothing to do, and
            // nothing will before the next other work: its turns until then are
            // skipped, however long the idle stretch.
            skipTo(scheduler_.nextWorkDue());
            arm();
            return;
        }
        if (!repeats_) valid_ = false;
        else arm();
        auto keepAlive = shared_from_this();
        const std::uint64_t before = scheduler_.changes();
        block_();
        lookedAt_ = scheduler_.changes() == before ? before : kNever;
    }
    // Makes the next turn the first one due at or after `horizon`.
    void skipTo(double horizon) {
        double n = std::ceil((horizon - start_) / interval_);
        if (!(n < 0x1p52)) return;  // too many turns to count exactly: take them one by one
        while (n > 0 && start_ + (n - 1) * interval_ >= horizon) n -= 1;
        while (start_ + n * interval_ < horizon) n += 1;
        if (n - 1 > static_cast<double>(fires_)) fires_ = static_cast<long>(n) - 1;
    }
    static constexpr std::uint64_t kNever = ~std::uint64_t{0};

    Scheduler& scheduler_;
    double interval_;
    bool repeats_;
    std::function<void()> block_;
    double start_;
    long fires_ = 0;
    Scheduler::TaskId task_ = 0;
    bool valid_ = true;
    std::uint64_t lookedAt_ = kNever;  // changes() after a turn that found nothing to do
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
