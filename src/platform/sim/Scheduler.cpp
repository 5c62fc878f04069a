#include "platform/sim/Scheduler.h"

#include <algorithm>

namespace gm::platform::sim {

Scheduler::TaskId Scheduler::schedule(double due, std::function<void()> task) {
    ++changes_;
    return add(due, std::move(task), false);
}

Scheduler::TaskId Scheduler::schedulePoll(double due, std::function<void()> task) {
    return add(due, std::move(task), true);
}

Scheduler::TaskId Scheduler::add(double due, std::function<void()> task, bool poll) {
    if (!(due >= now_)) due = now_;  // also catches NaN
    TaskId id = next_++;
    heap_.push_back({due, id, std::move(task), poll});
    std::push_heap(heap_.begin(), heap_.end(), later);
    return id;
}

void Scheduler::cancel(TaskId id) {
    for (const auto& t : heap_)
        if (t.id == id) {
            ++changes_;
            cancelled_.insert(id);
            return;
        }
}

double Scheduler::nextWorkDue() const {
    double due = until_;
    for (const auto& t : heap_)
        if (!t.poll && t.due < due && !cancelled_.count(t.id)) due = t.due;
    return due;
}

void Scheduler::dropCancelledTop() {
    while (!heap_.empty() && cancelled_.count(heap_.front().id)) {
        cancelled_.erase(heap_.front().id);
        std::pop_heap(heap_.begin(), heap_.end(), later);
        heap_.pop_back();
    }
}

void Scheduler::runUntil(double until) {
    if (!(until <= kLatestTime)) until = kLatestTime;  // also catches NaN
    ++changes_;
    until_ = until;
    for (;;) {
        dropCancelledTop();
        if (heap_.empty() || heap_.front().due > until) break;
        std::pop_heap(heap_.begin(), heap_.end(), later);
        Task task = std::move(heap_.back());
        heap_.pop_back();
        now_ = task.due;
        if (!task.poll) ++changes_;
        task.run();
    }
    if (until > now_) now_ = until;
}

}  // namespace gm::platform::sim
