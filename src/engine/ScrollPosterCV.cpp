#include "engine/ScrollPosterCV.h"

#include <cmath>
#include <sstream>

namespace gm::engine {

ScrollPosterCV::ScrollPosterCV(platform::Platform& platform, settings::SettingsManager& settings, ScrollPhase& phase,
                               ScrollUtils& scrollUtils)
    : platform_(platform),
      phase_(phase),
      scrollUtils_(scrollUtils),
      console_(platform.console()),
      stateQ(platform.createSerialQueue("ScrollPoster.stateQ")) {
    auto s = settings.snapshot();
    easing_ = s->scrollBase.animationEasing;
    animationFunction_ = easing_ ? &AnimationFunctions::viscousFluid : &AnimationFunctions::linear;
    duration_ = s->scrollAdvanced.duration / 1000;
    accelerationDelta_ = s->scrollAdvanced.accelerationDelta / 1000;
    accelerationLimit_ = s->scrollAdvanced.accelerationLimit;
    accelerationTailToHeadRatio_ = s->scrollAdvanced.accelerationTailToHeadRatio;
    // Enough for any realistic burst, so frames and pushes don't allocate.
    queue_.reserve(64);
    platform.logger().info("Module initialized: ScrollPoster");
}

ScrollPosterCV::~ScrollPosterCV() {
    // No frame may be queued once the queue starts going away.
    std::shared_ptr<platform::DisplayLink> l;
    {
        std::lock_guard lock(posterMutex_);
        l = std::move(poster_);
    }
    if (l) l->stop();
}

std::shared_ptr<platform::DisplayLink> ScrollPosterCV::link() const {
    std::lock_guard lock(posterMutex_);
    return poster_;
}

bool ScrollPosterCV::isDisplayLinkRunning() const {
    auto l = link();
    return l && l->isRunning();
}

bool ScrollPosterCV::hasDisplayLink() const { return link() != nullptr; }

void ScrollPosterCV::schedule(const platform::EventRef& event, platform::TapProxy proxy, double deltaY, double deltaX,
                              double duration, double accelerationDelta, double accelerationLimit, bool easing) {
    if (auto display = displayIDForEvent(*event, platform_.displays(), screens_))
        if (!currentDisplayID_ || *currentDisplayID_ != *display) createDisplayLink(*display);

    const double durationSeconds = duration / 1000;
    startTime_ = platform_.clock().mediaTime();
    accelerationLimit_ = accelerationLimit;
    accelerationDelta_ = accelerationDelta / 1000;
    acceleration_ = computeAcceleration();

    if (logging_) {
        std::ostringstream line;
        line << "New event ------------------------ " << liveFiberCount();
        console_.print(line.str());
        auto at = event->location();
        std::ostringstream where;
        where << "(" << at.x << ", " << at.y << ")";
        console_.print(where.str());
    }

    const TickParameters tick{durationSeconds, easing, acceleration_, startTime_};
    {
        std::lock_guard lock(pendingMutex_);
        pending_.push({event, proxy, deltaY, deltaX, tick});
    }
    // One block per tick, run in order on the serial queue, so the n-th block takes the n-th tick.
    stateQ->async([this] {
        PendingPush p;
        {
            std::lock_guard lock(pendingMutex_);
            p = pending_.pop();
        }
        push(p.event, p.proxy, p.deltaY, p.deltaX, p.tick);
    });

    if (auto l = link()) {
        if (!l->isRunning()) l->start();
    } else {
        console_.print("displayLink is nil");
    }
}

double ScrollPosterCV::computeAcceleration() {
    if (accelerationLimit_ < 1) return 1.0;
    const double interval = startTime_ - lastEventTime_;
    lastEventTime_ = startTime_;
    if (!(accelerationDelta_ > interval)) return 1.0;
    const double ms = interval * 1000;
    double a = (55 / ms + 1) / 1.8;
    if (a < 1) a = 1;
    return a > accelerationLimit_ ? accelerationLimit_ : a;
}

void ScrollPosterCV::push(const platform::EventRef& event, platform::TapProxy proxy, double deltaY, double deltaX,
                          const TickParameters& tick) {
    duration_ = tick.duration;
    easing_ = tick.easing;
    animationFunction_ = easing_ ? &AnimationFunctions::viscousFluid : &AnimationFunctions::linear;
    ref_ = {event, proxy};
    checkDirection(deltaY, deltaX);
    queue_.push_back({{deltaY * tick.acceleration, deltaX * tick.acceleration}, {}, {}, tick.startTime});
    fiberCount_.store(queue_.size(), std::memory_order_relaxed);
}

void ScrollPosterCV::checkDirection(double deltaY, double deltaX) {
    // A still axis counts as -1, so switching between vertical and horizontal ticks is a reversal too.
    const AxisPair s{deltaY > 0 ? 1.0 : -1.0, deltaX > 0 ? 1.0 : -1.0};
    if (s == delta_) return;
    delta_ = s;
    if (queue_.empty()) return;
    if (logging_) console_.print("Reset after direction changed");
    if (isDisplayLinkRunning()) stop(Phase::PauseManual);
}

void ScrollPosterCV::processing() {
    const double now = platform_.clock().mediaTime();
    if (logging_) ++animationFrameCount_;
    if (queue_.empty()) {
        stop(Phase::PauseAuto);
        return;
    }
    AxisPair total;
    for (std::size_t i = 0; i < queue_.size();) {
        ScrollFiber& fiber = queue_[i];
        const double elapsed = now - fiber.startTime;
        const double progress = elapsed >= duration_ ? 1.0 : elapsed / duration_;
        const double p = animationFunction_(progress);
        // Rounding the covered distance, not each increment, keeps fractions from piling up.
        const AxisPair r{std::round(p * fiber.step.y), std::round(p * fiber.step.x)};
        const AxisPair d{r.y - fiber.last.y, r.x - fiber.last.x};
        fiber.value = d;
        fiber.last = r;
        total.y += d.y;
        total.x += d.x;
        if (elapsed < duration_) ++i;
        else queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    fiberCount_.store(queue_.size(), std::memory_order_relaxed);
    if (queue_.empty()) {
        stop(Phase::PauseAuto);
        return;
    }
    post(ref_.event, ref_.proxy, total.y, total.x);
}

void ScrollPosterCV::post(const platform::EventRef& event, platform::TapProxy proxy, double deltaY, double deltaX) {
    if (!proxy || !event) return;
    platform::EventRef copy = event->copy();
    if (!copy) return;
    phase_.transformOnPost();
    using namespace platform::field;
    copy->setDoubleValue(scrollPointDeltaAxis1, deltaY);
    copy->setDoubleValue(scrollPointDeltaAxis2, deltaX);
    copy->setDoubleValue(scrollFixedPtDeltaAxis1, 0);
    copy->setDoubleValue(scrollFixedPtDeltaAxis2, 0);
    copy->setDoubleValue(scrollIsContinuous, 1);
    if (logging_) callStackFrame_.push_back(deltaY);
    platform::EventTaps& taps = platform_.eventTaps();
    if (taps.postsFromAnyThread()) {
        taps.postEvent(proxy, copy);
        return;
    }
    platform_.mainQueue().async([&taps, proxy, copy = std::move(copy)] { taps.postEvent(proxy, copy); });
}

void ScrollPosterCV::stop(Phase phase) {
    if (auto l = link()) l->stop();
    stateQ->async([this, phase] {
        phase_.setPhase(phase);
        if (ref_.event) {
            // This application waits for an "ended" phase before it settles its own scrolling.
            platform::AppRef app = scrollUtils_.targetApplication(*ref_.event);
            if (app && app->bundleIdentifier == kClosingEventBundleId) {
                using namespace platform::field;
                ref_.event->setDoubleValue(scrollPhase, phaseValue(Phase::PauseManual, PhaseItem::Scroll));
                ref_.event->setDoubleValue(scrollMomentumPhase, phaseValue(Phase::PauseManual, PhaseItem::Momentum));
                post(ref_.event, ref_.proxy, 0, 0);
            }
        }
        if (logging_) console_.print("stop");
        reset();
    });
}

void ScrollPosterCV::reset() {
    if (logging_) {
        double sum = 0;
        std::ostringstream list;
        list << "[";
        for (std::size_t i = 0; i < callStackFrame_.size(); ++i) {
            sum += callStackFrame_[i];
            list << (i ? ", " : "") << callStackFrame_[i];
        }
        list << "]";
        std::ostringstream line;
        line << "calculatedStackFrame: " << sum << " : " << list.str();
        console_.print(line.str());
        console_.print("animationFrameCount: " + std::to_string(animationFrameCount_));
    }
    ref_ = {};
    queue_.clear();
    fiberCount_.store(0, std::memory_order_relaxed);
    if (logging_) {
        callStackFrame_.clear();
        animationFrameCount_ = 0;
    }
}

}  // namespace gm::engine
