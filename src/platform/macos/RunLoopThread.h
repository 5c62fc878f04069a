#pragma once
// A thread that runs its own CFRunLoop. The engine lives on one: its tap
// sources and timers are in that run loop, and the engine's main queue hands
// blocks to it. Nothing on the engine's path waits for the user interface,
// so a modal alert or a busy window never makes the system switch a tap off.
#include <CoreFoundation/CoreFoundation.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Services.h"

namespace gm::platform::macos {

class RunLoopThread {
public:
    explicit RunLoopThread(std::string name);
    ~RunLoopThread();  // shutdown()
    RunLoopThread(const RunLoopThread&) = delete;
    RunLoopThread& operator=(const RunLoopThread&) = delete;

    // Blocks run in the order they were posted, in the common modes.
    void post(std::function<void()> block);
    void postAfter(double seconds, std::function<void()> block);
    // A run-loop timer in the default mode; a repeating one fires until invalidated.
    std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats, std::function<void()> block);
    bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }
    // Runs `block` on the thread and waits for it (at once when called on it).
    void runSync(const std::function<void()>& block);
    // Runs the blocks posted so far, then stops the run loop and joins the
    // thread (unless called on it); later posts are dropped.
    void shutdown();
    CFRunLoopRef runLoop() const { return loop_; }

private:
    void run(std::string name);

    std::mutex mutex_;
    std::condition_variable started_;
    CFRunLoopRef loop_ = nullptr;
    bool quit_ = false;
    std::thread thread_;
};

// A run-loop source made from an event tap's port.
class MacRunLoopSource final : public RunLoopSource {
public:
    // Takes over the reference of a Create call.
    explicit MacRunLoopSource(CFRunLoopSourceRef source) : source_(source) {}
    ~MacRunLoopSource() override;
    MacRunLoopSource(const MacRunLoopSource&) = delete;
    MacRunLoopSource& operator=(const MacRunLoopSource&) = delete;
    CFRunLoopSourceRef ref() const { return source_; }

private:
    CFRunLoopSourceRef source_;
};

// The RunLoop of the engine's thread. Sources go into the common modes, as
// the interceptor asks; sources made by another backend are not ours and are
// never contained.
class MacRunLoop final : public RunLoop {
public:
    explicit MacRunLoop(RunLoopThread& thread) : thread_(thread) {}
    bool containsSource(const RunLoopSource& source) const override;
    void addSource(const std::shared_ptr<RunLoopSource>& source) override;
    void removeSource(const RunLoopSource& source) override;
    std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats, std::function<void()> block) override {
        return thread_.scheduleTimer(interval, repeats, std::move(block));
    }

private:
    RunLoopThread& thread_;
};

// The engine's main queue: blocks handed to the engine thread's run loop.
class RunLoopQueue final : public DispatchQueue {
public:
    explicit RunLoopQueue(RunLoopThread& thread) : thread_(thread) {}
    void async(std::function<void()> block) override { thread_.post(std::move(block)); }
    void asyncAfter(double seconds, std::function<void()> block) override {
        thread_.postAfter(seconds, std::move(block));
    }

private:
    RunLoopThread& thread_;
};

}  // namespace gm::platform::macos
