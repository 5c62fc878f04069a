#include "platform/linux/WheelCodec.h"

#include <cmath>
#include <algorithm>
#include <cstdlib>

namespace gm::platform::linux_input {

namespace {
int signOf(std::int64_t v) { return (v > 0) - (v < 0); }

// Adds a device's value (any 32-bit number) to a frame's total, held to the frame limit.
void addHeld(int& total, std::int64_t delta, int limit) {
    total = static_cast<int>(std::clamp<std::int64_t>(total + delta, -limit, limit));
}
}  // namespace

bool isWheelCode(std::uint16_t code) {
    return code == REL_WHEEL || code == REL_HWHEEL || code == REL_WHEEL_HI_RES || code == REL_HWHEEL_HI_RES;
}

bool addWheelEvent(const input_event& ev, WheelMotion& motion, std::array<bool, 2> hiRes) {
    if (ev.type != EV_REL || !isWheelCode(ev.code)) return false;
    switch (ev.code) {
        case REL_WHEEL:
            addHeld(motion.notches[kVertical], ev.value, kMaxFrameNotches);
            if (!hiRes[kVertical])
                addHeld(motion.units[kVertical], std::int64_t{ev.value} * kUnitsPerNotch, kMaxFrameUnits);
            break;
        case REL_HWHEEL:
            addHeld(motion.notches[kHorizontal], -std::int64_t{ev.value}, kMaxFrameNotches);
            if (!hiRes[kHorizontal])
                addHeld(motion.units[kHorizontal], -std::int64_t{ev.value} * kUnitsPerNotch, kMaxFrameUnits);
            break;
        case REL_WHEEL_HI_RES: addHeld(motion.units[kVertical], ev.value, kMaxFrameUnits); break;
        case REL_HWHEEL_HI_RES: addHeld(motion.units[kHorizontal], -std::int64_t{ev.value}, kMaxFrameUnits); break;
        default: break;
    }
    return true;
}

bool isSubNotch(const WheelMotion& motion) {
    for (std::size_t a = 0; a < 2; ++a) {
        if (motion.units[a] % kUnitsPerNotch != 0) return true;
    }
    return false;
}

std::shared_ptr<FieldTableEvent> makeScrollEvent(const WheelMotion& motion, Point location) {
    auto event = std::make_shared<FieldTableEvent>(EventType::ScrollWheel, 0, location);
    const int v = motion.units[kVertical] / kUnitsPerNotch;
    const int h = motion.units[kHorizontal] / kUnitsPerNotch;
    event->setIntegerValue(field::scrollDeltaAxis1, v);
    event->setIntegerValue(field::scrollDeltaAxis2, h);
    event->setDoubleValue(field::scrollFixedPtDeltaAxis1, v);
    event->setDoubleValue(field::scrollFixedPtDeltaAxis2, h);
    event->setDoubleValue(field::scrollPointDeltaAxis1, v * kPointsPerTappedNotch);
    event->setDoubleValue(field::scrollPointDeltaAxis2, h * kPointsPerTappedNotch);
    event->setIntegerValue(field::scrollIsContinuous, 0);
    // The target application is not known yet; 1 stands for "some application".
    event->setIntegerValue(field::targetProcessID, 1);
    return event;
}

std::array<int, 2> notchesOf(const Event& event) {
    const EventField lines[2] = {field::scrollDeltaAxis1, field::scrollDeltaAxis2};
    const EventField fixed[2] = {field::scrollFixedPtDeltaAxis1, field::scrollFixedPtDeltaAxis2};
    std::array<int, 2> out{};
    for (std::size_t a = 0; a < 2; ++a) {
        // A tap may have written anything into the event; rounding is only defined within range.
        const double n = event.integerValue(lines[a]) != 0 ? static_cast<double>(event.integerValue(lines[a]))
                                                          : event.doubleValue(fixed[a]);
        out[a] = std::isnan(n) ? 0 : static_cast<int>(std::lround(std::clamp(n, -1000.0, 1000.0)));
    }
    return out;
}

input_event makeEvent(std::uint16_t type, std::uint16_t code, std::int32_t value) {
    input_event ev{};
    ev.type = type;
    ev.code = code;
    ev.value = value;
    return ev;
}

void appendWheelEvents(std::vector<input_event>& out, std::array<int, 2> units, std::array<int, 2> notches) {
    // Same order as the kernel's own high-resolution mice: hi-res first, then the legacy notch.
    if (units[kVertical] != 0) out.push_back(makeEvent(EV_REL, REL_WHEEL_HI_RES, units[kVertical]));
    if (notches[kVertical] != 0) out.push_back(makeEvent(EV_REL, REL_WHEEL, notches[kVertical]));
    if (units[kHorizontal] != 0) out.push_back(makeEvent(EV_REL, REL_HWHEEL_HI_RES, -units[kHorizontal]));
    if (notches[kHorizontal] != 0) out.push_back(makeEvent(EV_REL, REL_HWHEEL, -notches[kHorizontal]));
}

// ---- WheelStartModel -------------------------------------------------------------

bool WheelStartModel::step(Snapshot& s, std::array<int, 2> units, double now) {
    if (s.state == State::Scrolling && now - s.lastScroll >= kRestAfter) s.state = State::Rest;
    bool scrolled = false;
    for (std::size_t a = 0; a < 2; ++a) {
        if (units[a] == 0) continue;
        scrolled = true;
        // Directions in evdev terms (the horizontal axis is mirrored in ours).
        const Dir dir = a == kVertical ? (units[a] > 0 ? Dir::VPos : Dir::VNeg)
                                       : (units[a] < 0 ? Dir::HPos : Dir::HNeg);
        if (dir != s.dir) {
            s.dir = dir;
            if (s.state != State::Rest) s.state = State::Rest;
        }
        if (s.state == State::Rest) {
            s.state = State::Accumulating;
        } else if (s.state == State::Scrolling) {
            s.lastScroll = now;
        }
        s.held[a] += units[a];
    }
    if (!scrolled) return false;
    if (s.state == State::Accumulating) {
        if (std::abs(s.held[0]) < kThreshold && std::abs(s.held[1]) < kThreshold) return false;
        s.state = State::Scrolling;
        s.lastScroll = now;
    }
    s.held = {};
    return true;
}

bool WheelStartModel::wouldRelease(std::array<int, 2> units, double now) const {
    Snapshot copy = s_;
    return step(copy, units, now);
}

void WheelStartModel::apply(std::array<int, 2> units, double now) { step(s_, units, now); }

// ---- WheelEncoder ------------------------------------------------------------------

WheelEncoder::Frame WheelEncoder::encodePoints(double pointsV, double pointsH, double now) {
    // A lead still out after a rest belongs to a scroll that was cut short (a
    // click, or the program stopped mid-animation): it is forgiven, not
    // settled with a jump at the start of the next one.
    if (now - lastFrame_ >= WheelStartModel::kRestAfter) {
        for (std::size_t a = 0; a < 2; ++a) posted_[a] = static_cast<double>(emitted_[a]);
    }
    lastFrame_ = now;
    const double points[2] = {pointsV, pointsH};
    Frame frame;
    std::array<std::int64_t, 2> target{};
    // However far the engine asks to move, one frame of the device moves at most the frame limit.
    constexpr double kMaxPoints = kMaxFrameUnits * kPointsPerNotch / kUnitsPerNotch;
    for (std::size_t a = 0; a < 2; ++a) {
        const double p = std::isfinite(points[a]) ? std::clamp(points[a], -kMaxPoints, kMaxPoints) : 0.0;
        const std::int64_t before = std::llround(posted_[a]);
        posted_[a] += p * (kUnitsPerNotch / kPointsPerNotch);
        target[a] = std::llround(posted_[a]);
        const std::int64_t step = target[a] - before;  // this frame's own motion
        const std::int64_t lead = emitted_[a] - before;
        if (step == 0) continue;
        std::int64_t units = target[a] - emitted_[a];
        if (lead != 0 && signOf(lead) == signOf(step)) {
            // Paying back a lead: keep moving, at half this frame's motion,
            // rather than standing still until the posted total catches up.
            // Rounded up, so the one-unit frames of an eased tail pay too and
            // the lead is gone before the tick ends.
            const std::int64_t pay = std::min(std::abs(lead), (std::abs(step) + 1) / 2);
            units = step - signOf(step) * pay;
        }
        // (Against the lead, `units` also settles it: a reversal moves back by the lead too.)
        frame.units[a] = static_cast<int>(units);
    }
    if (startAssist_ && (frame.units[0] != 0 || frame.units[1] != 0) && !model_.wouldRelease(frame.units, now)) {
        const std::size_t a = std::abs(frame.units[0]) >= std::abs(frame.units[1]) ? kVertical : kHorizontal;
        const int sign = signOf(static_cast<std::int64_t>(frame.units[a]));
        std::array<int, 2> boosted = frame.units;
        for (int k = std::abs(frame.units[a]) + 1; sign != 0 && k <= WheelStartModel::kThreshold; ++k) {
            boosted[a] = sign * k;
            // The lead never exceeds the threshold: at most half a notch ahead.
            if (std::abs(emitted_[a] + boosted[a] - target[a]) > WheelStartModel::kThreshold) break;
            if (model_.wouldRelease(boosted, now)) {
                frame.units = boosted;
                break;
            }
        }
    }
    for (std::size_t a = 0; a < 2; ++a) {
        const int u = frame.units[a];
        emitted_[a] += u;
        if (u == 0) continue;
        // Legacy notches follow the high-resolution stream; a change of direction starts afresh.
        if (signOf(static_cast<std::int64_t>(legacyRemainder_[a])) == -signOf(static_cast<std::int64_t>(u)))
            legacyRemainder_[a] = 0;
        legacyRemainder_[a] += u;
        while (legacyRemainder_[a] >= kUnitsPerNotch) {
            legacyRemainder_[a] -= kUnitsPerNotch;
            ++frame.notches[a];
        }
        while (legacyRemainder_[a] <= -kUnitsPerNotch) {
            legacyRemainder_[a] += kUnitsPerNotch;
            --frame.notches[a];
        }
    }
    model_.apply(frame.units, now);
    return frame;
}

std::array<std::int64_t, 2> WheelEncoder::lead() const {
    return {emitted_[0] - std::llround(posted_[0]), emitted_[1] - std::llround(posted_[1])};
}

}  // namespace gm::platform::linux_input
