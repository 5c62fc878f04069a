#include "engine/ScrollDecision.h"

#include <algorithm>
#include <array>

namespace gm::engine {

settings::ExceptionRef matchException(const settings::GlidemarkSettings& settings, const std::string* bundleId) {
    if (!bundleId) return nullptr;
    for (const auto& exception : settings.appSettings.exceptionalApplication)
        if (exception && exception->hasBundleId(*bundleId)) return exception;
    return nullptr;
}

EffectiveValues effectiveValuesBeforeLaunchpad(const settings::GlidemarkSettings& settings,
                                               settings::ExceptionRef exception, bool blockSmooth) {
    EffectiveValues v;
    const auto& global = settings.scrollAdvanced;
    settings::ScrollNumbers numbers{global.step, global.duration, global.accelerationDelta, global.accelerationLimit};
    if (!exception) {
        v.smooth = settings.scrollBase.smooth && !blockSmooth;
    } else {
        v.smooth = !blockSmooth && settings.scrollBase.smooth && exception->scrollBase().smooth;
        if (!exception->inherit()) numbers = exception->numbers();
    }
    v.step = numbers.step;
    v.duration = numbers.duration;
    v.accelerationDelta = numbers.accelerationDelta;
    v.accelerationLimit = numbers.accelerationLimit;
    // Direction, horizontal smoothing and easing are always the global choices.
    v.horizontalSmooth = settings.scrollBase.horizontalSmooth;
    v.reverse = settings.scrollBase.reverse;
    v.animationEasing = settings.scrollBase.animationEasing;
    v.exception = std::move(exception);
    return v;
}

namespace {

// A tick read from the point delta always moves exactly one step; one read
// from the line or fixed-point delta keeps its size.
double quantise(const axisData& reading, double value, double step) {
    if (reading.fixed) return value;
    return value > 0 ? step : -step;
}

}  // namespace

Outcome decide(platform::Event& event, const axisData& Y, const axisData& X, const EffectiveValues& v) {
    Outcome o;
    o.y = Y.usableValue;
    o.x = X.usableValue;
    // First, so that an event let through carries the reversal.
    if (Y.valid && v.reverse) {
        reverseAxis(event, Y, kAxisY);
        o.reverseY = true;
        o.y = -o.y;
    }
    auto reverseX = [&] {
        reverseAxis(event, X, kAxisX);
        o.reverseX = true;
        o.x = -o.x;
    };

    if (!v.smooth) {
        if (X.valid && v.horizontalSmooth && v.reverse) reverseX();
        return o;
    }
    if (Y.valid && !X.valid) {
        o.y = quantise(Y, o.y, v.step);
        o.schedule = true;
        o.returnEvent = false;
    } else if (Y.valid && X.valid) {
        if (v.horizontalSmooth) {
            if (v.reverse) reverseX();
            o.y = quantise(Y, o.y, v.step);
            o.x = quantise(X, o.x, v.step);
            o.schedule = true;
            o.returnEvent = false;
        }
        // Diagonal input with horizontal smoothing off: smoothing only Y would
        // lose the X half and swallowing it all would lose the tick, so the
        // event goes through as it is (Y already reversed when asked).
    } else if (X.valid) {
        if (v.horizontalSmooth) {
            if (v.reverse) reverseX();
            o.x = quantise(X, o.x, v.step);
            o.schedule = true;
            o.returnEvent = false;
        }
    } else {
        // Nothing to scroll: let it through, but a (0, 0) tick still keeps the
        // poster's direction and timing bookkeeping as it always was.
        o.y = 0;
        o.x = 0;
        o.schedule = true;
    }
    return o;
}

namespace {

struct ModifierGroup {
    std::array<std::int64_t, 2> keys;
    std::uint64_t mask;
};

const ModifierGroup* groupFor(std::int64_t keyCode) {
    static constexpr ModifierGroup command{{55, 54}, platform::flag::command};
    static constexpr ModifierGroup shift{{56, 60}, platform::flag::shift};
    static constexpr ModifierGroup option{{58, 61}, platform::flag::alternate};
    static constexpr ModifierGroup control{{59, 62}, platform::flag::control};
    switch (keyCode) {
    case 54:
    case 55: return &command;
    case 56:
    case 60: return &shift;
    case 58:
    case 61: return &option;
    case 59:
    case 62: return &control;
    default: return nullptr;  // other keys, Caps Lock (57) included
    }
}

// Key codes from the settings are 16-bit key codes; anything outside that range names no key at all.
bool groupHas(const ModifierGroup& group, std::int64_t settingsCode) {
    if (settingsCode < 0 || settingsCode > 0xFFFF) return false;
    return group.keys[0] == settingsCode || group.keys[1] == settingsCode;
}

}  // namespace

bool modifierChange(std::int64_t keyCode, std::uint64_t flags, const settings::GlidemarkSettings& settings,
                    ModifierState& state) {
    const ModifierGroup* group = groupFor(keyCode);
    if (!group) return false;
    const bool down = (flags & group->mask) != 0;
    const std::int64_t dashKey = settings.scrollAdvanced.dash;
    const auto& blockKeys = settings.scrollAdvanced.block;
    const bool isDash = groupHas(*group, dashKey);
    const bool isToggle = group->keys[0] == 56 || group->keys[1] == 56;
    const bool isBlock = std::any_of(blockKeys.begin(), blockKeys.end(),
                                     [&](std::int64_t code) { return groupHas(*group, code); });
    bool stop = false;
    if (isDash) {
        state.dashScroll = down;
        state.dashAmplification = down ? 5.0 : 1.0;
    }
    if (isToggle) {
        state.toggleScroll = down;
        stop = true;
    }
    if (isBlock) {
        state.blockSmooth = down;
        if (down) stop = true;
    }
    return stop;
}

}  // namespace gm::engine
