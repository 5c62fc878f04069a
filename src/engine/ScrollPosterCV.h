#pragma once
// The animation engine. Each smoothed tick becomes a fiber that walks from 0
// to the tick's (accelerated) distance along the animation curve over the
// configured duration; once per display refresh every live fiber advances,
// their whole-point increments are summed and one synthetic continuous scroll
// event carrying the sum is posted. Overlapping ticks add up.
//
// Threads: `schedule` runs on the scroll core's thread; `push`, every frame and
// the finishing work of `stop` run on the serial queue `stateQ`; the display
// link's thread only queues frames; posting happens on the main queue. The
// per-tick parameters travel inside the queued `push`, the display link is
// guarded by a lock, and everything else has exactly one owning thread.
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "engine/AnimationFunctions.h"
#include "engine/ScrollPhase.h"
#include "engine/ScrollUtils.h"
#include "platform/Platform.h"
#include "platform/RingQueue.h"
#include "settings/SettingsManager.h"

namespace gm::engine {

struct AxisPair {
    double y = 0;
    double x = 0;
    bool operator==(const AxisPair&) const = default;
};

struct ScrollFiber {
    AxisPair step;   // total signed distance after acceleration
    AxisPair value;  // increment produced in the latest frame
    AxisPair last;   // rounded distance covered so far
    double startTime = 0;
};

// The display under the event's location: the first screen whose frame holds
// it; none when no screen does or that screen has no identifier.
std::optional<platform::DisplayID> displayIDForEvent(const platform::Event& event, const platform::Displays& displays,
                                                     std::vector<platform::Screen>& scratch);

class ScrollPosterCV {
public:
    static constexpr const char* kClosingEventBundleId = "com.google.Chrome";

    ScrollPosterCV(platform::Platform& platform, settings::SettingsManager& settings, ScrollPhase& phase,
                   ScrollUtils& scrollUtils);
    ~ScrollPosterCV();
    ScrollPosterCV(const ScrollPosterCV&) = delete;
    ScrollPosterCV& operator=(const ScrollPosterCV&) = delete;

    // `duration` and `accelerationDelta` in milliseconds, as stored.
    void schedule(const platform::EventRef& event, platform::TapProxy proxy, double deltaY, double deltaX,
                  double duration, double accelerationDelta, double accelerationLimit, bool easing);
    // Callable from any thread.
    void stop(Phase phase);
    // One frame; runs on stateQ only.
    void processing();

    bool isDisplayLinkRunning() const;
    bool hasDisplayLink() const;

    // Scroll-core-thread state, for tests and diagnostics.
    double acceleration() const { return acceleration_; }
    double lastEventTime() const { return lastEventTime_; }
    std::optional<platform::DisplayID> currentDisplayID() const { return currentDisplayID_; }
    std::size_t liveFiberCount() const { return fiberCount_.load(std::memory_order_relaxed); }

    // Developer diagnostics to the console; off unless a developer switches it on before use.
    void setLogging(bool on) { logging_ = on; }

private:
    struct TickParameters {
        double duration;  // seconds
        bool easing;
        double acceleration;
        double startTime;
    };
    struct Ref {
        platform::EventRef event;
        platform::TapProxy proxy = nullptr;
    };
    // A tick on its way from the scroll core's thread to stateQ.
    struct PendingPush {
        platform::EventRef event;
        platform::TapProxy proxy = nullptr;
        double deltaY = 0;
        double deltaX = 0;
        TickParameters tick{};
    };
    double computeAcceleration();
    void push(const platform::EventRef& event, platform::TapProxy proxy, double deltaY, double deltaX,
              const TickParameters& tick);
    void checkDirection(double deltaY, double deltaX);
    void post(const platform::EventRef& event, platform::TapProxy proxy, double deltaY, double deltaX);
    void reset();
    void createDisplayLink(platform::DisplayID displayID);
    static void displayLinkCallback(void* userInfo);
    std::shared_ptr<platform::DisplayLink> link() const;

    platform::Platform& platform_;
    ScrollPhase& phase_;
    ScrollUtils& scrollUtils_;
    platform::Console& console_;
    bool logging_ = false;

    // The scroll core's thread.
    std::optional<platform::DisplayID> currentDisplayID_;
    double startTime_ = 0;
    double lastEventTime_ = 0;
    double acceleration_ = 1.0;
    double accelerationDelta_ = 0;
    double accelerationLimit_ = 0;
    std::vector<platform::Screen> screens_;

    // Any thread, under the lock.
    mutable std::mutex posterMutex_;
    std::shared_ptr<platform::DisplayLink> poster_;
    std::mutex pendingMutex_;
    // The queued block then carries only `this`, so handing a tick over allocates nothing.
    platform::RingQueue<PendingPush> pending_;

    // stateQ.
    AxisPair delta_;
    std::vector<ScrollFiber> queue_;
    bool easing_ = true;
    AnimationFunction animationFunction_ = &AnimationFunctions::viscousFluid;
    double duration_ = 0;
    double accelerationTailToHeadRatio_ = 0;
    Ref ref_;
    std::vector<double> callStackFrame_;
    std::int64_t animationFrameCount_ = 0;
    std::atomic<std::size_t> fiberCount_{0};

    // Declared last so it is destroyed first: its thread is joined before the
    // state its blocks touch goes away.
    std::unique_ptr<platform::DispatchQueue> stateQ;
};

}  // namespace gm::engine
