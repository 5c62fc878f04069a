#pragma once
// Virtual time for the simulated desktop. Every piece of simulated work (queued
// blocks, timers, display-link ticks, input injected by a test or a trace) is a
// task of this one scheduler, run in order of (due time, creation order).
#include <cstdint>
#include <functional>
#include <unordered_set>
#include <vector>

namespace gm::platform::sim {

class Scheduler {
public:
    using TaskId = std::uint64_t;

    double now() const { return now_; }

    // A due time in the past runs at the current time (after what is already due then).
    TaskId schedule(double due, std::function<void()> task);
    TaskId scheduleNow(std::function<void()> task) { return schedule(now_, std::move(task)); }
    void cancel(TaskId id);

    // Runs every task due at or before `until` (tasks that those tasks add
    // included), then leaves the clock at `until`.
    void runUntil(double until);
    // Runs tasks due at the current time only.
    void runDue() { runUntil(now_); }
    std::size_t pendingCount() const { return heap_.size() - cancelled_.size(); }

private:
    struct Task {
        double due;
        TaskId id;
        std::function<void()> run;
    };
    static bool later(const Task& a, const Task& b) {
        return a.due > b.due || (a.due == b.due && a.id > b.id);
    }
    void dropCancelledTop();

    std::vector<Task> heap_;
    std::unordered_set<TaskId> cancelled_;
    double now_ = 0.0;
    TaskId next_ = 1;
};

}  // namespace gm::platform::sim
