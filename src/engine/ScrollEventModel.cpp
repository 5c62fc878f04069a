#include "engine/ScrollEventModel.h"

#include <limits>

namespace gm::engine {

using platform::field::scrollDeltaAxis1;
using platform::field::scrollDeltaAxis2;
using platform::field::scrollFixedPtDeltaAxis1;
using platform::field::scrollFixedPtDeltaAxis2;
using platform::field::scrollPointDeltaAxis1;
using platform::field::scrollPointDeltaAxis2;

namespace {

// NaN is not equal to 0, so it counts as a delta, as it does on the real system.
bool nonZero(double v) { return v != 0.0; }

std::int64_t negated(std::int64_t v) {
    return v == std::numeric_limits<std::int64_t>::min() ? std::numeric_limits<std::int64_t>::max() : -v;
}

}  // namespace

axisData readAxis(const platform::Event& event, int axis) {
    const bool shift = (event.flags() & platform::flag::shift) != 0;
    axisData d;
    if (axis == kAxisY) {
        // With Shift held a vertical wheel scrolls horizontally, so Y reads as still.
        if (shift) return d;
        d.scrollFix = event.integerValue(scrollDeltaAxis1);
        d.scrollPt = event.doubleValue(scrollPointDeltaAxis1);
        d.scrollFixPt = event.doubleValue(scrollFixedPtDeltaAxis1);
    } else if (shift) {
        d.scrollFix = event.integerValue(scrollDeltaAxis1);
        d.scrollPt = event.doubleValue(scrollPointDeltaAxis1);
        d.scrollFixPt = event.doubleValue(scrollFixedPtDeltaAxis1);
    } else {
        d.scrollFix = event.integerValue(scrollDeltaAxis2);
        d.scrollPt = event.doubleValue(scrollPointDeltaAxis2);
        d.scrollFixPt = event.doubleValue(scrollFixedPtDeltaAxis2);
    }
    if (nonZero(d.scrollPt)) {
        d.valid = true;
        d.usableValue = d.scrollPt;
    } else if (nonZero(d.scrollFixPt)) {
        d.valid = d.fixed = true;
        d.usableValue = d.scrollFixPt;
    } else if (d.scrollFix != 0) {
        d.valid = d.fixed = true;
        d.usableValue = static_cast<double>(d.scrollFix);
    } else {
        d.scrollFix = 0;
    }
    return d;
}

void reverseAxis(platform::Event& event, const axisData& reading, int axis) {
    if (axis == kAxisY) {
        event.setIntegerValue(scrollDeltaAxis1, negated(reading.scrollFix));
        event.setDoubleValue(scrollPointDeltaAxis1, -reading.scrollPt);
        event.setDoubleValue(scrollFixedPtDeltaAxis1, -reading.scrollFixPt);
    } else {
        event.setIntegerValue(scrollDeltaAxis2, negated(reading.scrollFix));
        event.setDoubleValue(scrollPointDeltaAxis2, -reading.scrollPt);
        event.setDoubleValue(scrollFixedPtDeltaAxis2, -reading.scrollFixPt);
    }
}

platform::AppRef Utils::runningApplication(std::string_view bundleIdentifier) {
    const double now = clock_.wallTime();
    auto lookup = runningApplicationLookupTimes.find(bundleIdentifier);
    const double last = lookup == runningApplicationLookupTimes.end() ? 0.0 : lookup->second;
    if (now - last > 60.0) {
        platform::AppRef app = workspace_.applicationWithBundleIdentifier(bundleIdentifier);
        auto cached = runningApplicationCache.find(bundleIdentifier);
        if (app) {
            if (cached == runningApplicationCache.end()) runningApplicationCache.emplace(bundleIdentifier, app);
            else cached->second = app;
        } else if (cached != runningApplicationCache.end()) {
            runningApplicationCache.erase(cached);
        }
        if (lookup == runningApplicationLookupTimes.end()) runningApplicationLookupTimes.emplace(bundleIdentifier, now);
        else lookup->second = now;
    }
    auto cached = runningApplicationCache.find(bundleIdentifier);
    return cached == runningApplicationCache.end() ? nullptr : cached->second;
}

bool Utils::isGestureScroll(const platform::Event& event) {
    using namespace platform::field;
    if (event.doubleValue(scrollMomentumPhase) == 0.0 && event.doubleValue(scrollPhase) == 0.0 &&
        event.doubleValue(scrollCount) == 0.0)
        return false;
    // The vendor's mouse daemon posts continuous events of its own that must be smoothed like wheel ticks.
    if (platform::AppRef daemon = runningApplication(kMouseDaemonBundleId))
        if (static_cast<std::int64_t>(daemon->processIdentifier) == event.integerValue(sourceProcessID)) return false;
    return true;
}

}  // namespace gm::engine
