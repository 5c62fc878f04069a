#pragma once
// An opaque input event as the engine sees it: numeric fields addressed by
// identifier (the identifiers are the well-known scroll-event field numbers),
// modifier flags, a location and a type.
#include <array>
#include <cstdint>
#include <memory>

#include "platform/Geometry.h"

namespace gm::platform {

using EventField = std::uint32_t;

namespace field {
inline constexpr EventField keyboardKeycode = 9;
inline constexpr EventField scrollDeltaAxis1 = 11;       // vertical line delta (integer)
inline constexpr EventField scrollDeltaAxis2 = 12;       // horizontal line delta (integer)
inline constexpr EventField targetProcessID = 40;
inline constexpr EventField sourceProcessID = 41;
inline constexpr EventField scrollIsContinuous = 88;
inline constexpr EventField scrollFixedPtDeltaAxis1 = 93;
inline constexpr EventField scrollFixedPtDeltaAxis2 = 94;
inline constexpr EventField scrollPointDeltaAxis1 = 96;
inline constexpr EventField scrollPointDeltaAxis2 = 97;
inline constexpr EventField scrollPhase = 99;
inline constexpr EventField scrollCount = 100;
inline constexpr EventField scrollMomentumPhase = 123;
}  // namespace field

namespace flag {
inline constexpr std::uint64_t shift = 0x20000;
inline constexpr std::uint64_t control = 0x40000;
inline constexpr std::uint64_t alternate = 0x80000;
inline constexpr std::uint64_t command = 0x100000;
}  // namespace flag

enum class EventType : std::uint32_t {
    Null = 0,
    LeftMouseDown = 1,
    RightMouseDown = 3,
    FlagsChanged = 12,
    ScrollWheel = 22,
};

constexpr std::uint64_t eventMaskBit(EventType type) {
    return std::uint64_t{1} << static_cast<std::uint32_t>(type);
}

class Event {
public:
    virtual ~Event() = default;
    virtual EventType type() const = 0;
    virtual std::int64_t integerValue(EventField field) const = 0;
    virtual double doubleValue(EventField field) const = 0;
    virtual void setIntegerValue(EventField field, std::int64_t value) = 0;
    virtual void setDoubleValue(EventField field, double value) = 0;
    virtual std::uint64_t flags() const = 0;
    virtual Point location() const = 0;
    // A new event with the same type, fields, flags and location; null when it cannot be made.
    virtual std::shared_ptr<Event> copy() const = 0;
};

using EventRef = std::shared_ptr<Event>;

// An event kept as a table of fields, used by the simulated and the Linux
// backends. Each field has an integer and a double view: writing one view sets
// the other to the same number (the double view truncated toward zero and
// saturated when read as an integer; NaN reads as 0), which is how the
// line-delta and point-delta views of one field relate on a real system.
class FieldTableEvent final : public Event {
public:
    static constexpr std::size_t kFieldCount = 128;

    explicit FieldTableEvent(EventType type, std::uint64_t flags = 0, Point location = {})
        : type_(type), flags_(flags), location_(location) {}

    EventType type() const override { return type_; }
    std::int64_t integerValue(EventField field) const override;
    double doubleValue(EventField field) const override;
    void setIntegerValue(EventField field, std::int64_t value) override;
    void setDoubleValue(EventField field, double value) override;
    std::uint64_t flags() const override { return flags_; }
    Point location() const override { return location_; }
    std::shared_ptr<Event> copy() const override;

    void setFlags(std::uint64_t flags) { flags_ = flags; }
    void setLocation(Point location) { location_ = location; }
    static bool isKnownField(EventField field) { return field < kFieldCount; }

private:
    EventType type_;
    std::uint64_t flags_;
    Point location_;
    std::array<std::int64_t, kFieldCount> integers_{};
    std::array<double, kFieldCount> doubles_{};
};

// Converts a double to int64 without undefined behaviour: truncates toward
// zero, saturates at the limits, NaN becomes 0.
std::int64_t saturatingToInt64(double value);

}  // namespace gm::platform
