#pragma once
// The engine's Event over a Quartz event: fields are read and written by
// their Quartz numbers, so the event model sees exactly what the system sees.
#include <CoreGraphics/CoreGraphics.h>

#include "platform/Event.h"

namespace gm::platform::macos {

class MacEvent final : public Event {
public:
    // Takes its own reference to `event`.
    explicit MacEvent(CGEventRef event);
    ~MacEvent() override;
    MacEvent(const MacEvent&) = delete;
    MacEvent& operator=(const MacEvent&) = delete;

    EventType type() const override;
    std::int64_t integerValue(EventField field) const override;
    double doubleValue(EventField field) const override;
    void setIntegerValue(EventField field, std::int64_t value) override;
    void setDoubleValue(EventField field, double value) override;
    std::uint64_t flags() const override;
    Point location() const override;
    std::shared_ptr<Event> copy() const override;

    CGEventRef ref() const { return event_; }

private:
    CGEventRef event_;
};

}  // namespace gm::platform::macos
