#pragma once
// The system's numbers turned into ours, kept free of Apple headers so that
// the rules run in the tests on every platform. The Objective-C++ files
// check at compile time that the numbers here equal the SDK's own.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/Event.h"
#include "platform/Log.h"

namespace gm::platform::macos {

// Quartz event types the engine taps (the others read as Null).
EventType eventTypeFromQuartz(std::uint32_t quartzType);

// kCGEventTapDisabledByTimeout and kCGEventTapDisabledByUserInput: notices the
// system sends down a tap it has switched off. They carry no input; the
// interceptor's keeper finds the switched-off tap and restarts it.
inline constexpr std::uint32_t kTapDisabledByTimeout = 0xFFFFFFFEu;
inline constexpr std::uint32_t kTapDisabledByUserInput = 0xFFFFFFFFu;
constexpr bool isTapDisabledNotice(std::uint32_t quartzType) {
    return quartzType == kTapDisabledByTimeout || quartzType == kTapDisabledByUserInput;
}

// A display's refresh rate in Hz. Many built-in panels report 0 for their
// mode; the display link's nominal period (value/scale seconds) stands in
// then, and 60 Hz when that is unknown as well.
double refreshRate(double modeRate, std::int64_t periodValue, std::int32_t periodScale, bool periodIndefinite);

// os_log's message types, by our log level.
constexpr std::uint8_t osLogType(LogLevel level) {
    switch (level) {
    case LogLevel::Debug: return 0x02;
    case LogLevel::Info: return 0x01;
    case LogLevel::Default: return 0x00;
    case LogLevel::Error: return 0x10;
    case LogLevel::Fault: return 0x11;
    }
    return 0x00;
}

// Where NSUserDefaults keeps an application's domain, for messages to the user.
std::string userDefaultsLocation(const std::string& home, const std::optional<std::string>& bundleIdentifier);

}  // namespace gm::platform::macos
