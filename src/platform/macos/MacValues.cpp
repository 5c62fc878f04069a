#include "platform/macos/MacValues.h"

#include <cmath>

namespace gm::platform::macos {

EventType eventTypeFromQuartz(std::uint32_t quartzType) {
    switch (quartzType) {
    case 1: return EventType::LeftMouseDown;
    case 3: return EventType::RightMouseDown;
    case 12: return EventType::FlagsChanged;
    case 22: return EventType::ScrollWheel;
    default: return EventType::Null;
    }
}

double refreshRate(double modeRate, std::int64_t periodValue, std::int32_t periodScale, bool periodIndefinite) {
    if (std::isfinite(modeRate) && modeRate > 0) return modeRate;
    if (!periodIndefinite && periodValue > 0 && periodScale > 0) {
        const double rate = static_cast<double>(periodScale) / static_cast<double>(periodValue);
        // A period longer than a second or shorter than a millisecond is no display's.
        if (rate >= 1.0 && rate <= 1000.0) return rate;
    }
    return 60.0;
}

std::string userDefaultsLocation(const std::string& home, const std::optional<std::string>& bundleIdentifier) {
    return home + "/Library/Preferences/" + bundleIdentifier.value_or(std::string(kDefaultSubsystem)) + ".plist";
}

}  // namespace gm::platform::macos
