#pragma once
// The rules by which one scroll event is judged, and the modifier hotkeys.
// Pure functions of their inputs apart from the in-place reversal, so they can
// be exercised without any event tap.
#include <cstdint>
#include <string_view>

#include "engine/ScrollEventModel.h"
#include "settings/GlidemarkSettings.h"

namespace gm::engine {

struct EffectiveValues {
    bool smooth = false;
    double step = 0;
    double duration = 0;           // milliseconds, as stored
    double accelerationDelta = 0;  // milliseconds, as stored
    double accelerationLimit = 0;
    bool horizontalSmooth = false;
    bool reverse = false;
    bool animationEasing = false;
    settings::ExceptionRef exception;
};

struct Outcome {
    bool reverseY = false;
    bool reverseX = false;
    bool schedule = false;  // hand a tick of (y, x) to the poster
    double y = 0;
    double x = 0;
    bool returnEvent = true;  // false: swallow the event
};

struct ModifierState {
    bool dashScroll = false;
    double dashAmplification = 1.0;
    bool toggleScroll = false;
    bool blockSmooth = false;
};

settings::ExceptionRef matchException(const settings::GlidemarkSettings& settings, const std::string* bundleId);

// `launchpadShowing` is asked only when the values would otherwise be smooth.
template <typename LaunchpadQuery>
EffectiveValues effectiveValues(const settings::GlidemarkSettings& settings, settings::ExceptionRef exception,
                                bool blockSmooth, LaunchpadQuery&& launchpadShowing);

EffectiveValues effectiveValuesBeforeLaunchpad(const settings::GlidemarkSettings& settings,
                                               settings::ExceptionRef exception, bool blockSmooth);

// Decides what becomes of the event, writing any reversal into it.
Outcome decide(platform::Event& event, const axisData& Y, const axisData& X, const EffectiveValues& values);

// Updates the modifier state for a change of key `keyCode` with `flags` now
// held; returns true when a running animation must be stopped.
bool modifierChange(std::int64_t keyCode, std::uint64_t flags, const settings::GlidemarkSettings& settings,
                    ModifierState& state);

template <typename LaunchpadQuery>
EffectiveValues effectiveValues(const settings::GlidemarkSettings& settings, settings::ExceptionRef exception,
                                bool blockSmooth, LaunchpadQuery&& launchpadShowing) {
    EffectiveValues v = effectiveValuesBeforeLaunchpad(settings, std::move(exception), blockSmooth);
    if (v.smooth && launchpadShowing()) v.smooth = false;
    return v;
}

}  // namespace gm::engine
