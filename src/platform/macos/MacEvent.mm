#include "platform/macos/MacEvent.h"

#include "platform/macos/MacValues.h"

namespace gm::platform::macos {

// The engine addresses fields, flags and types by the system's own numbers.
static_assert(field::keyboardKeycode == kCGKeyboardEventKeycode);
static_assert(field::scrollDeltaAxis1 == kCGScrollWheelEventDeltaAxis1);
static_assert(field::scrollDeltaAxis2 == kCGScrollWheelEventDeltaAxis2);
static_assert(field::targetProcessID == kCGEventTargetUnixProcessID);
static_assert(field::sourceProcessID == kCGEventSourceUnixProcessID);
static_assert(field::scrollIsContinuous == kCGScrollWheelEventIsContinuous);
static_assert(field::scrollFixedPtDeltaAxis1 == kCGScrollWheelEventFixedPtDeltaAxis1);
static_assert(field::scrollFixedPtDeltaAxis2 == kCGScrollWheelEventFixedPtDeltaAxis2);
static_assert(field::scrollPointDeltaAxis1 == kCGScrollWheelEventPointDeltaAxis1);
static_assert(field::scrollPointDeltaAxis2 == kCGScrollWheelEventPointDeltaAxis2);
static_assert(field::scrollPhase == kCGScrollWheelEventScrollPhase);
static_assert(field::scrollCount == kCGScrollWheelEventScrollCount);
static_assert(field::scrollMomentumPhase == kCGScrollWheelEventMomentumPhase);
static_assert(flag::shift == kCGEventFlagMaskShift);
static_assert(flag::control == kCGEventFlagMaskControl);
static_assert(flag::alternate == kCGEventFlagMaskAlternate);
static_assert(flag::command == kCGEventFlagMaskCommand);
static_assert(static_cast<std::uint32_t>(EventType::LeftMouseDown) == kCGEventLeftMouseDown);
static_assert(static_cast<std::uint32_t>(EventType::RightMouseDown) == kCGEventRightMouseDown);
static_assert(static_cast<std::uint32_t>(EventType::FlagsChanged) == kCGEventFlagsChanged);
static_assert(static_cast<std::uint32_t>(EventType::ScrollWheel) == kCGEventScrollWheel);
static_assert(kTapDisabledByTimeout == kCGEventTapDisabledByTimeout);
static_assert(kTapDisabledByUserInput == kCGEventTapDisabledByUserInput);

MacEvent::MacEvent(CGEventRef event) : event_(event) { CFRetain(event_); }

MacEvent::~MacEvent() { CFRelease(event_); }

EventType MacEvent::type() const { return eventTypeFromQuartz(CGEventGetType(event_)); }

std::int64_t MacEvent::integerValue(EventField field) const {
    return CGEventGetIntegerValueField(event_, static_cast<CGEventField>(field));
}

double MacEvent::doubleValue(EventField field) const {
    return CGEventGetDoubleValueField(event_, static_cast<CGEventField>(field));
}

void MacEvent::setIntegerValue(EventField field, std::int64_t value) {
    CGEventSetIntegerValueField(event_, static_cast<CGEventField>(field), value);
}

void MacEvent::setDoubleValue(EventField field, double value) {
    CGEventSetDoubleValueField(event_, static_cast<CGEventField>(field), value);
}

std::uint64_t MacEvent::flags() const { return CGEventGetFlags(event_); }

Point MacEvent::location() const {
    // Global display coordinates, origin at the top left of the main display,
    // the same space as CGDisplayBounds, so screens need no conversion.
    const CGPoint p = CGEventGetLocation(event_);
    return {p.x, p.y};
}

std::shared_ptr<Event> MacEvent::copy() const {
    CGEventRef copied = CGEventCreateCopy(event_);
    if (!copied) return nullptr;
    auto event = std::make_shared<MacEvent>(copied);
    CFRelease(copied);  // the wrapper holds its own reference
    return event;
}

}  // namespace gm::platform::macos
