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

    // The latest virtual time a simulation is meant to reach (about 31,700
    // years): there, doubles still tell display ticks a millisecond apart.
    static constexpr double kLatestTime = 1e12;

    double now() const { return now_; }

    // A due time in the past runs at the current time (after what is already due then).
    TaskId schedule(double due, std::function<void()> task);
    TaskId scheduleNow(std::function<void()> task) { return schedule(now_, std::move(task)); }
    void cancel(TaskId id);

    // A poll is a repeating task that only looks at state that other work
    // changes: when it finds nothing to do, it changes nothing and schedules
    // nothing but its own next turn. Polls may skip turns (see changes()).
    TaskId schedulePoll(double due, std::function<void()> task);
    // Goes up whenever the state a poll looks at may have changed: a task
    // other than a poll runs, a task is scheduled or cancelled, or a run
    // starts (between runs anyone may change anything).
    std::uint64_t changes() const { return changes_; }
    // The due time of the next task other than a poll, or the end of the
    // current run if that comes first. Until then only polls run, and a poll
    // that found nothing to do finds the same at every turn.
    double nextWorkDue() const;

    // Runs every task due at or before `until` (tasks that those tasks add
    // included), then leaves the clock at `until` (at most kLatestTime).
    void runUntil(double until);
    // Runs tasks due at the current time only.
    void runDue() { runUntil(now_); }
    std::size_t pendingCount() const { return heap_.size() - cancelled_.size(); }

private:
    struct Task {
        double due;
        TaskId id;
        std::function<void()> run;
        bool poll = false;
    };
    TaskId add(double due, std::function<void()> task, bool poll);
    static bool later(const Task& a, const Task& b) {
        return a.due > b.due || (a.due == b.due && a.id > b.id);
    }
    void dropCancelledTop();

    std::vector<Task> heap_;
    std::unordered_set<TaskId> cancelled_;
    double now_ = 0.0;
    double until_ = 0.0;
    TaskId next_ = 1;
    std::uint64_t changes_ = 0;
};

}  // namespace gm::platform::sim
