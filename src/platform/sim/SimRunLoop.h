#pragma once
#include <memory>
#include <vector>

#include "platform/Services.h"

namespace gm::platform::sim {

class Scheduler;

// The one run loop of the simulated desktop. A repeating timer of interval i
// scheduled at s fires at s + i, s + 2i, ... (computed as s + n*i, so it never
// drifts); a one-shot timer fires once at s + i. Repeating timers are polls
// (Scheduler::schedulePoll): a turn that could only find what the last one
// found is skipped, so an idle stretch costs the same however long it is.
class SimRunLoop final : public RunLoop {
public:
    explicit SimRunLoop(Scheduler& scheduler) : scheduler_(scheduler) {}

    bool containsSource(const RunLoopSource& source) const override;
    void addSource(const std::shared_ptr<RunLoopSource>& source) override;
    void removeSource(const RunLoopSource& source) override;
    std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats, std::function<void()> block) override;


private:
    Scheduler& scheduler_;
    std::vector<std::shared_ptr<RunLoopSource>> sources_;
};

}  // namespace gm::platform::sim
