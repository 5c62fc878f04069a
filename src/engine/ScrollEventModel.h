#pragma once
// Reading a scroll event into its two axes, recognising gesture input, and
// reversing an axis in place. All of it runs for every scroll event in the
// system, so it reads only the fields it needs and allocates nothing.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "platform/Services.h"

namespace gm::engine {

struct axisData {
    std::int64_t scrollFix = 0;  // line delta
    double scrollPt = 0;         // point delta
    double scrollFixPt = 0;      // fixed-point (line) delta
    bool fixed = false;          // usableValue came from scrollFixPt or scrollFix
    bool valid = false;          // the axis carries a non-zero delta
    double usableValue = 0;
};

inline constexpr int kAxisY = 0;
inline constexpr int kAxisX = 1;

// One event with its vertical and horizontal readings.
struct ScrollEvent {
    platform::EventRef event;
    axisData Y;
    axisData X;
};

axisData readAxis(const platform::Event& event, int axis);

// Writes the negated deltas of `reading` into the fields of `axis` (always the
// named axis's fields, also when the reading came from the other axis because
// Shift was held). The most negative line delta saturates to the largest one.
void reverseAxis(platform::Event& event, const axisData& reading, int axis);

// Process-wide helpers of the engine. The running-application cache answers
// "is this bundle identifier running, and as which process?" from memory for
// a minute, remembering an absent application as well as a found one.
class Utils {
public:
    static constexpr const char* kMouseDaemonBundleId = "com.logitech.manager.daemon";

    Utils(const platform::Workspace& workspace, const platform::Clock& clock)
        : workspace_(workspace), clock_(clock) {}

    platform::AppRef runningApplication(std::string_view bundleIdentifier);

    // True for trackpad, momentum and other continuous input, which must pass untouched.
    bool isGestureScroll(const platform::Event& event);

private:
    const platform::Workspace& workspace_;
    const platform::Clock& clock_;
    std::map<std::string, platform::AppRef, std::less<>> runningApplicationCache;
    std::map<std::string, double, std::less<>> runningApplicationLookupTimes;
};

}  // namespace gm::engine
