#pragma once
// Event taps over the device hub. Taps are delivered on the engine's run loop
// while their source is in it and they are enabled; the tap proxy names the
// mouse an event came from, so whatever is posted through it goes out on that
// mouse's clone.
#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Services.h"
#include "platform/linux/DeviceHub.h"
#include "platform/linux/LoopThread.h"

namespace gm::platform::linux_input {

// The engine thread's run loop: sources decide which taps are live; timers run on the loop.
class EngineRunLoop final : public RunLoop {
public:
    explicit EngineRunLoop(LoopThread& loop) : loop_(loop) {}
    bool containsSource(const RunLoopSource& source) const override;
    void addSource(const std::shared_ptr<RunLoopSource>& source) override;
    void removeSource(const RunLoopSource& source) override;
    std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats, std::function<void()> block) override {
        return loop_.scheduleTimer(interval, repeats, std::move(block));
    }
    LoopThread& loop() { return loop_; }

private:
    LoopThread& loop_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<RunLoopSource>> sources_;
};

class LinuxEventTaps final : public EventTaps, public HubListener {
public:
    // `accessible` answers whether taps may be made now; `onFirstTap` runs once
    // when the first tap is made (the platform starts reading the mice then).
    LinuxEventTaps(EngineRunLoop& runLoop, std::function<bool()> accessible, std::function<void()> onFirstTap);

    void setHub(DeviceHub* hub) { hub_.store(hub); }

    std::shared_ptr<EventTap> createTap(const TapSpec& spec) override;
    void postEvent(TapProxy proxy, const EventRef& event) override;
    // The hub writes each clone's frames under that clone's own lock.
    bool postsFromAnyThread() const override { return true; }

    // HubListener, on the hub's thread.
    bool wantsScroll() const override;
    void scrollWheel(DeviceId device, EventRef event) override;
    void leftMouseDown(DeviceId device, EventRef event) override;
    // Modifier changes, from whoever watches the keys (any thread).
    void flagsChanged(EventRef event);
    // Fills in what the device cannot know (the target process, the pointer's
    // location) on each wheel event, on the hub's thread. Set before input starts.
    void setScrollAnnotator(std::function<void(FieldTableEvent&)> annotate) { annotate_ = std::move(annotate); }

    static TapProxy proxyFor(DeviceId device);
    static DeviceId deviceOf(TapProxy proxy);

private:
    class Tap;
    std::vector<std::shared_ptr<Tap>> liveTaps(EventType type) const;
    void deliver(DeviceId device, EventType type, EventRef event);

    EngineRunLoop& runLoop_;
    std::function<bool()> accessible_;
    std::function<void()> onFirstTap_;
    std::atomic<DeviceHub*> hub_{nullptr};
    mutable std::mutex mutex_;
    std::list<std::weak_ptr<Tap>> taps_;  // in delivery order
    bool madeOne_ = false;
    std::function<void(FieldTableEvent&)> annotate_;
};

}  // namespace gm::platform::linux_input
