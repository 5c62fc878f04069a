#pragma once
// How wheel input of the kernel maps onto the platform's scroll events, and
// back: the tap side turns notches into scroll events, the posting side turns
// point deltas into high-resolution wheel units on a clone device.
//
// Sign convention: a positive delta moves the content as the wheel turned up
// (REL_WHEEL +1) does, on both axes: vertical = REL_WHEEL, horizontal =
// -REL_HWHEEL (positive = content moves right, as when the wheel tilts left).
#include <linux/input.h>

#include <array>
#include <cstdint>
#include <vector>

#include "platform/Event.h"

namespace gm::platform::linux_input {

// Kernel convention: one notch = 120 high-resolution units.
inline constexpr int kUnitsPerNotch = 120;
// Distance in points of one notch when posting (the engine's point deltas).
inline constexpr double kPointsPerNotch = 90.0;
// Point delta carried by a scroll event for one tapped notch (a line).
inline constexpr double kPointsPerTappedNotch = 10.0;
// The most one frame moves on one axis (131072 notches): far more than any
// wheel sends or any animation posts, yet small enough that no sum of frames,
// notches and leads overflows. A device or a posted delta beyond it is held to it.
inline constexpr int kMaxFrameNotches = 1 << 17;
inline constexpr int kMaxFrameUnits = kMaxFrameNotches * kUnitsPerNotch;

enum Axis : std::size_t { kVertical = 0, kHorizontal = 1 };

// The wheel part of one evdev frame, in the platform's sign convention.
struct WheelMotion {
    std::array<int, 2> units{};    // high-resolution units (notch emulated as 120)
    std::array<int, 2> notches{};  // legacy notch values
    bool any() const { return units[0] != 0 || units[1] != 0 || notches[0] != 0 || notches[1] != 0; }
};

bool isWheelCode(std::uint16_t code);
// Folds one wheel event into `motion`. Returns false for codes that are not wheel codes.
// `hiRes` says per axis whether the frame carries high-resolution codes; when
// it does, the legacy notch codes of that axis add no units of their own.
bool addWheelEvent(const input_event& ev, WheelMotion& motion, std::array<bool, 2> hiRes);
// True when the motion moves by less than whole notches (a free-spinning or
// high-resolution wheel), i.e. it is already smooth.
bool isSubNotch(const WheelMotion& motion);

// A scroll event for a notched wheel frame (one tick per notch).
std::shared_ptr<FieldTableEvent> makeScrollEvent(const WheelMotion& motion, Point location);
// Whole notches carried by a (possibly reversed) tapped scroll event, per axis.
std::array<int, 2> notchesOf(const Event& event);

// Appends the evdev events (without SYN_REPORT) for the given units and legacy notches.
void appendWheelEvents(std::vector<input_event>& out, std::array<int, 2> units, std::array<int, 2> notches);
input_event makeEvent(std::uint16_t type, std::uint16_t code, std::int32_t value);

// What the desktop's input stack (libinput as shipped with Debian 12, 1.22)
// does with the high-resolution wheel stream of one device: a scroll that
// starts from rest, or after a change of direction, is held back until half a
// notch (60 units) has accumulated on one axis, then everything accumulated is
// released at once; 500 ms without wheel input returns it to rest. One
// direction is tracked for both axes together, so a frame moving on both axes
// starts over every time. This model lets the poster know when a frame would
// be held.
class WheelStartModel {
public:
    static constexpr int kThreshold = 60;
    static constexpr double kRestAfter = 0.5;

    // Whether `units` emitted at `now` reaches the application in this frame.
    bool wouldRelease(std::array<int, 2> units, double now) const;
    void apply(std::array<int, 2> units, double now);

private:
    enum class State { Rest, Accumulating, Scrolling };
    enum class Dir { Unknown, VPos, VNeg, HPos, HNeg };
    struct Snapshot {
        State state = State::Rest;
        Dir dir = Dir::Unknown;
        std::array<int, 2> held{};
        double lastScroll = -1e9;
    };
    static bool step(Snapshot& s, std::array<int, 2> units, double now);
    Snapshot s_;
};

// Turns the point deltas of posted events into high-resolution units plus
// legacy notches. Per axis, the exact sum of posted points is kept; each frame
// emits the difference between the rounded sum and what was emitted so far, so
// fractions are carried and never lost. A burst that the desktop would hold
// back (see WheelStartModel) is started with half a notch at once instead;
// that lead (never more than half a notch) is paid back by the following
// frames of the same direction, each moving at half its own pace until it is
// gone. A reversal settles an outstanding lead at once; after a rest, a lead
// still out is forgiven.
class WheelEncoder {
public:
    struct Frame {
        std::array<int, 2> units{};
        std::array<int, 2> notches{};
        bool empty() const { return units[0] == 0 && units[1] == 0 && notches[0] == 0 && notches[1] == 0; }
    };

    Frame encodePoints(double pointsV, double pointsH, double now);
    // Whole notches written directly (pass-through and re-emitted ticks); keeps the start model in step.
    void noteEmitted(std::array<int, 2> units, double now) { model_.apply(units, now); }

    // Units emitted minus the rounded units posted, per axis (the outstanding lead).
    std::array<std::int64_t, 2> lead() const;
    std::array<std::int64_t, 2> emittedUnits() const { return emitted_; }
    std::array<double, 2> postedUnits() const { return posted_; }
    void setStartAssist(bool on) { startAssist_ = on; }

private:
    std::array<double, 2> posted_{};
    std::array<std::int64_t, 2> emitted_{};
    std::array<int, 2> legacyRemainder_{};
    double lastFrame_ = -1e9;
    WheelStartModel model_;
    bool startAssist_ = true;
};

}  // namespace gm::platform::linux_input
