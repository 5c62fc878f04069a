#pragma once
// A thread that runs queued blocks in order and timers on a fixed grid. The
// engine's thread is one (it is also the run loop for tap sources and the main
// queue); every serial queue is another.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/RingQueue.h"
#include "platform/Services.h"

namespace gm::platform::linux_input {

class LoopThread {
public:
    using Clock = std::chrono::steady_clock;

    explicit LoopThread(std::string name);
    ~LoopThread();  // runs nothing more; blocks already running finish first
    LoopThread(const LoopThread&) = delete;
    LoopThread& operator=(const LoopThread&) = delete;

    void post(std::function<void()> block);
    void postAfter(double seconds, std::function<void()> block);
    // A timer firing every `interval` seconds on the grid start + k·interval
    // (late ticks are skipped, never bunched), or once after `interval`.
    std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats, std::function<void()> block);
    bool isCurrent() const { return std::this_thread::get_id() == threadId_; }
    // Runs `block` on the loop and waits for it (runs it at once on the loop itself).
    void runSync(const std::function<void()>& block);
    // Runs the blocks queued so far, then stops the loop and joins its thread
    // (unless called on it); later posts are dropped.
    void shutdown();

private:
    class LoopTimer;
    struct Entry {
        Clock::time_point due;
        std::uint64_t order;
        std::shared_ptr<LoopTimer> timer;  // null for a plain delayed block
        std::function<void()> block;
    };
    void run();
    void schedule(Entry entry);

    std::string name_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::function<void()>> ready_;
    std::vector<Entry> timed_;  // a heap ordered by (due, order)
    std::uint64_t order_ = 0;
    bool quit_ = false;
    bool exited_ = false;  // the loop's thread has left run()
    std::thread thread_;
    std::thread::id threadId_;
};

// A serial DispatchQueue with a thread of its own. A block queued from a
// display clock's thread while the queue is idle runs right there, so a frame
// costs that one wake-up instead of a hop to the queue's thread; the blocks it
// queues meanwhile run after it, on the same thread. Everything else runs on
// the queue's thread. Either way blocks run one at a time, in the order they
// were queued, and a frame's block sees its frame's time (currentFrameTime())
// wherever it runs.
class SerialQueue final : public DispatchQueue {
public:
    explicit SerialQueue(std::string label) : loop_(std::move(label)) {}
    void async(std::function<void()> block) override;
    void asyncAfter(double seconds, std::function<void()> block) override;
    LoopThread& loop() { return loop_; }

private:
    struct Item {
        std::function<void()> block;
        double frameTime;
    };
    // Runs queued blocks until none is left; the caller holds the turn.
    void drain();
    void workerTurn();

    std::mutex mutex_;
    bool busy_ = false;         // some thread holds the turn
    bool workerWoken_ = false;  // a turn of the queue's thread is on its way
    RingQueue<Item> items_;     // reused, so queuing allocates nothing
    LoopThread loop_;  // last: its thread is joined before the rest goes
};

}  // namespace gm::platform::linux_input
