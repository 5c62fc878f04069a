#pragma once
// The stored JSON form of the settings, and its strict, all-or-nothing decoder.
#include <optional>
#include <string>
#include <string_view>

#include "settings/GlidemarkSettings.h"

namespace gm::settings {

struct DecodeResult {
    std::optional<GlidemarkSettings> settings;  // set on success
    // The first problem with its JSON path when decoding failed, e.g.
    // "appSettings.exceptionalApplication[0].scrollAdvanced.accelerationTailToHeadRatio: missing".
    std::string error;

    explicit operator bool() const { return settings.has_value(); }
};

// Compact JSON; none when a double is not finite (JSON has no NaN or infinity).
std::optional<std::string> encode(const GlidemarkSettings& settings);
DecodeResult decode(std::string_view json);

}  // namespace gm::settings
