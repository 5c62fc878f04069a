#include "platform/linux/LoopThread.h"

#include "platform/linux/DisplayClock.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <future>

namespace gm::platform::linux_input {

namespace {
LoopThread::Clock::duration toDuration(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    return std::chrono::duration_cast<LoopThread::Clock::duration>(std::chrono::duration<double>(seconds));
}
}  // namespace

class LoopThread::LoopTimer final : public Timer {
public:
    LoopTimer(std::function<void()> block, Clock::duration interval, bool repeats, Clock::time_point start)
        : block_(std::move(block)), interval_(interval), repeats_(repeats), start_(start) {}
    void invalidate() override {
        valid_.store(false);
        std::lock_guard lock(mutex_);
        // Dropping the block releases whatever it captured, as soon as possible.
        if (!firing_) block_ = nullptr;
    }
    bool isValid() const override { return valid_.load(); }

    // Runs the block if still valid; answers when it is due next (none for one-shot or invalid).
    bool fire(Clock::time_point now, Clock::time_point& next) {
        std::function<void()> block;
        {
            std::lock_guard lock(mutex_);
            if (!valid_.load() || !block_) return false;
            firing_ = true;
            block = block_;
        }
        if (!repeats_) valid_.store(false);
        block();
        {
            std::lock_guard lock(mutex_);
            firing_ = false;
            if (!valid_.load()) block_ = nullptr;
        }
        if (!repeats_ || !valid_.load() || interval_.count() <= 0) return false;
        const auto ticks = (now - start_) / interval_ + 1;
        next = start_ + ticks * interval_;
        return true;
    }

private:
    std::mutex mutex_;
    std::function<void()> block_;
    Clock::duration interval_;
    bool repeats_;
    Clock::time_point start_;
    std::atomic<bool> valid_{true};
    bool firing_ = false;
};

LoopThread::LoopThread(std::string name) : name_(std::move(name)) {
    std::promise<void> started;
    auto ready = started.get_future();
    thread_ = std::thread([this, &started] {
        threadId_ = std::this_thread::get_id();
        pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
        started.set_value();
        run();
    });
    ready.wait();
}

LoopThread::~LoopThread() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        ready_.clear();
        timed_.clear();
    }
    cv_.notify_all();
    if (thread_.joinable()) {
        if (isCurrent()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }
}

void LoopThread::shutdown() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable() && !isCurrent()) thread_.join();
}

void LoopThread::post(std::function<void()> block) {
    {
        std::lock_guard lock(mutex_);
        if (quit_) return;
        ready_.push_back(std::move(block));
    }
    cv_.notify_one();
}

static bool later(const auto& a, const auto& b) {
    return a.due != b.due ? a.due > b.due : a.order > b.order;
}

void LoopThread::schedule(Entry entry) {
    {
        std::lock_guard lock(mutex_);
        if (quit_) return;
        entry.order = order_++;
        timed_.push_back(std::move(entry));
        std::push_heap(timed_.begin(), timed_.end(), [](const Entry& a, const Entry& b) { return later(a, b); });
    }
    cv_.notify_one();
}

void LoopThread::postAfter(double seconds, std::function<void()> block) {
    schedule(Entry{Clock::now() + toDuration(seconds), 0, nullptr, std::move(block)});
}

std::shared_ptr<Timer> LoopThread::scheduleTimer(double interval, bool repeats, std::function<void()> block) {
    const auto now = Clock::now();
    const auto step = toDuration(interval);
    auto timer = std::make_shared<LoopTimer>(std::move(block), step, repeats, now);
    schedule(Entry{now + step, 0, timer, nullptr});
    return timer;
}

void LoopThread::runSync(const std::function<void()>& block) {
    if (isCurrent()) {
        block();
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    post([&block, done] {
        block();
        done->set_value();
    });
    // A loop that quit before taking the block drops it; the block either ran
    // or will never run once the loop's thread has ended.
    while (finished.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        std::lock_guard lock(mutex_);
        if (exited_) return;
    }
}

void LoopThread::run() {
    auto cmp = [](const Entry& a, const Entry& b) { return later(a, b); };
    std::unique_lock lock(mutex_);
    struct MarkExited {
        bool& flag;
        ~MarkExited() { flag = true; }
    } markExited{exited_};
    while (true) {
        if (!ready_.empty()) {
            auto batch = std::move(ready_);
            ready_.clear();
            lock.unlock();
            for (auto& block : batch) block();
            batch.clear();
            lock.lock();
            continue;
        }
        if (quit_) break;
        if (!timed_.empty() && timed_.front().due <= Clock::now()) {
            std::pop_heap(timed_.begin(), timed_.end(), cmp);
            Entry entry = std::move(timed_.back());
            timed_.pop_back();
            lock.unlock();
            const auto now = Clock::now();
            Clock::time_point next;
            bool again = false;
            if (entry.timer) {
                again = entry.timer->fire(now, next);
            } else if (entry.block) {
                entry.block();
            }
            entry.block = nullptr;
            lock.lock();
            if (again && !quit_) {
                // The loop keeps a repeating timer alive until it is invalidated.
                entry.due = next;
                entry.order = order_++;
                timed_.push_back(std::move(entry));
                std::push_heap(timed_.begin(), timed_.end(), cmp);
            }
            continue;
        }
        if (timed_.empty()) {
            cv_.wait(lock);
        } else {
            // A copy: the heap may be reallocated by a poster while we wait.
            const Clock::time_point due = timed_.front().due;
            cv_.wait_until(lock, due);
        }
    }
}

// ---- SerialQueue ---------------------------------------------------------------------

void SerialQueue::async(std::function<void()> block) {
    const double frameTime = currentFrameTime();
    std::unique_lock lock(mutex_);
    items_.push({std::move(block), frameTime});
    if (!busy_ && (!std::isnan(frameTime) || loop_.isCurrent())) {
        // This thread takes the turn and runs the block here, after any queued
        // earlier that still wait for the queue's thread.
        busy_ = true;
        lock.unlock();
        drain();
        return;
    }
    if (busy_ || workerWoken_) return;  // whoever holds the turn, or is about to, runs it
    workerWoken_ = true;
    lock.unlock();
    loop_.post([this] { workerTurn(); });
}

void SerialQueue::asyncAfter(double seconds, std::function<void()> block) {
    loop_.postAfter(seconds, [this, block = std::move(block)]() mutable { async(std::move(block)); });
}

void SerialQueue::workerTurn() {
    {
        std::lock_guard lock(mutex_);
        workerWoken_ = false;
        if (busy_) return;
        busy_ = true;
    }
    drain();
}

void SerialQueue::drain() {
    while (true) {
        Item item;
        {
            std::lock_guard lock(mutex_);
            if (items_.empty()) {
                busy_ = false;
                return;
            }
            item = items_.pop();
        }
        FrameTimeScope frame(item.frameTime);
        item.block();
    }
}

}  // namespace gm::platform::linux_input
