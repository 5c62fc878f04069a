#include "platform/macos/RunLoopThread.h"

#import <Foundation/Foundation.h>
#include <pthread.h>

#include <algorithm>
#include <cmath>

namespace gm::platform::macos {

namespace {

class RunLoopTimer final : public Timer {
public:
    explicit RunLoopTimer(CFRunLoopTimerRef timer) : timer_(timer) {}
    ~RunLoopTimer() override { CFRelease(timer_); }
    RunLoopTimer(const RunLoopTimer&) = delete;
    RunLoopTimer& operator=(const RunLoopTimer&) = delete;
    void invalidate() override { CFRunLoopTimerInvalidate(timer_); }
    bool isValid() const override { return CFRunLoopTimerIsValid(timer_); }

private:
    CFRunLoopTimerRef timer_;
};

// Negative, NaN and endless delays would make no sense to the run loop.
double sanitised(double seconds) { return std::isfinite(seconds) ? std::clamp(seconds, 0.0, 1.0e9) : 0.0; }

void noWork(void*) {}

}  // namespace

RunLoopThread::RunLoopThread(std::string name) {
    thread_ = std::thread([this, name = std::move(name)]() mutable { run(std::move(name)); });
    std::unique_lock lock(mutex_);
    started_.wait(lock, [this] { return loop_ != nullptr; });
}

RunLoopThread::~RunLoopThread() {
    shutdown();
    if (loop_) CFRelease(loop_);
}

void RunLoopThread::run(std::string name) {
    pthread_setname_np(name.c_str());
    // A run loop with nothing in it returns at once; this source keeps it
    // running while no tap is installed.
    CFRunLoopSourceContext context{};
    context.perform = noWork;
    CFRunLoopSourceRef keepAlive = CFRunLoopSourceCreate(kCFAllocatorDefault, 0, &context);
    {
        std::lock_guard lock(mutex_);
        loop_ = static_cast<CFRunLoopRef>(const_cast<void*>(CFRetain(CFRunLoopGetCurrent())));
        CFRunLoopAddSource(loop_, keepAlive, kCFRunLoopCommonModes);
    }
    started_.notify_all();
    CFRunLoopRun();
    // `this` may be gone by now when the thread shut itself down.
    CFRunLoopRemoveSource(CFRunLoopGetCurrent(), keepAlive, kCFRunLoopCommonModes);
    CFRelease(keepAlive);
}

void RunLoopThread::post(std::function<void()> block) {
    {
        std::lock_guard lock(mutex_);
        if (quit_) return;
    }
    CFRunLoopPerformBlock(loop_, kCFRunLoopCommonModes, ^{
        @autoreleasepool {
            block();
        }
    });
    CFRunLoopWakeUp(loop_);
}

void RunLoopThread::postAfter(double seconds, std::function<void()> block) {
    {
        std::lock_guard lock(mutex_);
        if (quit_) return;
    }
    CFRunLoopTimerRef timer = CFRunLoopTimerCreateWithHandler(
        kCFAllocatorDefault, CFAbsoluteTimeGetCurrent() + sanitised(seconds), 0, 0, 0, ^(CFRunLoopTimerRef) {
            @autoreleasepool {
                block();
            }
        });
    CFRunLoopAddTimer(loop_, timer, kCFRunLoopCommonModes);
    CFRelease(timer);  // the run loop holds a one-shot timer until it has fired
}

std::shared_ptr<Timer> RunLoopThread::scheduleTimer(double interval, bool repeats, std::function<void()> block) {
    const double delay = sanitised(interval);
    CFRunLoopTimerRef timer = CFRunLoopTimerCreateWithHandler(
        kCFAllocatorDefault, CFAbsoluteTimeGetCurrent() + delay, repeats ? delay : 0, 0, 0, ^(CFRunLoopTimerRef) {
            @autoreleasepool {
                block();
            }
        });
    CFRunLoopAddTimer(loop_, timer, kCFRunLoopDefaultMode);
    return std::make_shared<RunLoopTimer>(timer);
}

void RunLoopThread::runSync(const std::function<void()>& block) {
    if (isCurrent()) {
        block();
        return;
    }
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    {
        std::lock_guard lock(mutex_);
        if (quit_) return;
    }
    post([&] {
        block();
        std::lock_guard lock(doneMutex);
        done = true;
        doneSignal.notify_all();
    });
    std::unique_lock lock(doneMutex);
    doneSignal.wait(lock, [&] { return done; });
}

void RunLoopThread::shutdown() {
    {
        std::lock_guard lock(mutex_);
        if (quit_) return;
        quit_ = true;
    }
    // Queued after everything posted so far, so those blocks run first.
    CFRunLoopPerformBlock(loop_, kCFRunLoopCommonModes, ^{
        CFRunLoopStop(CFRunLoopGetCurrent());
    });
    CFRunLoopWakeUp(loop_);
    if (!isCurrent()) thread_.join();
    else thread_.detach();
}

MacRunLoopSource::~MacRunLoopSource() { CFRelease(source_); }

namespace {
const MacRunLoopSource* ours(const RunLoopSource& source) { return dynamic_cast<const MacRunLoopSource*>(&source); }
}  // namespace

bool MacRunLoop::containsSource(const RunLoopSource& source) const {
    const MacRunLoopSource* mac = ours(source);
    return mac && CFRunLoopContainsSource(thread_.runLoop(), mac->ref(), kCFRunLoopCommonModes);
}

void MacRunLoop::addSource(const std::shared_ptr<RunLoopSource>& source) {
    // The run loop keeps its own reference to the source.
    if (const MacRunLoopSource* mac = source ? ours(*source) : nullptr)
        CFRunLoopAddSource(thread_.runLoop(), mac->ref(), kCFRunLoopCommonModes);
}

void MacRunLoop::removeSource(const RunLoopSource& source) {
    if (const MacRunLoopSource* mac = ours(source))
        CFRunLoopRemoveSource(thread_.runLoop(), mac->ref(), kCFRunLoopCommonModes);
}

}  // namespace gm::platform::macos
