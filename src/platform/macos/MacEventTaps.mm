#include "platform/macos/MacEventTaps.h"

#include <CoreGraphics/CoreGraphics.h>

#include "platform/macos/MacEvent.h"
#include "platform/macos/MacValues.h"
#include "platform/macos/RunLoopThread.h"

namespace gm::platform::macos {

static_assert(static_cast<std::uint32_t>(TapLocation::HID) == kCGHIDEventTap);
static_assert(static_cast<std::uint32_t>(TapLocation::Session) == kCGSessionEventTap);
static_assert(static_cast<std::uint32_t>(TapLocation::AnnotatedSession) == kCGAnnotatedSessionEventTap);
static_assert(static_cast<std::uint32_t>(TapPlacement::HeadInsert) == kCGHeadInsertEventTap);
static_assert(static_cast<std::uint32_t>(TapPlacement::TailAppend) == kCGTailAppendEventTap);
static_assert(static_cast<std::uint32_t>(TapOptions::Default) == kCGEventTapOptionDefault);
static_assert(static_cast<std::uint32_t>(TapOptions::ListenOnly) == kCGEventTapOptionListenOnly);
static_assert(eventMaskBit(EventType::ScrollWheel) == CGEventMaskBit(kCGEventScrollWheel));
static_assert(eventMaskBit(EventType::FlagsChanged) == CGEventMaskBit(kCGEventFlagsChanged));
static_assert(eventMaskBit(EventType::LeftMouseDown) == CGEventMaskBit(kCGEventLeftMouseDown));

namespace {

class MacEventTap final : public EventTap {
public:
    MacEventTap(TapCallback callback, void* userInfo) : callback_(callback), userInfo_(userInfo) {}
    ~MacEventTap() override {
        if (!port_) return;
        CGEventTapEnable(port_, false);
        // No callback can arrive for this tap once its port is invalid.
        CFMachPortInvalidate(port_);
        CFRelease(port_);
    }
    MacEventTap(const MacEventTap&) = delete;
    MacEventTap& operator=(const MacEventTap&) = delete;

    bool create(const TapSpec& spec) {
        port_ = CGEventTapCreate(static_cast<CGEventTapLocation>(spec.location),
                                 static_cast<CGEventTapPlacement>(spec.placement),
                                 static_cast<CGEventTapOptions>(spec.options), spec.mask, &MacEventTap::deliver, this);
        return port_ != nullptr;
    }

    void enable(bool enabled) override { CGEventTapEnable(port_, enabled); }
    bool isEnabled() const override { return CGEventTapIsEnabled(port_); }
    std::shared_ptr<RunLoopSource> createRunLoopSource() override {
        CFRunLoopSourceRef source = CFMachPortCreateRunLoopSource(kCFAllocatorDefault, port_, 0);
        if (!source) return nullptr;
        return std::make_shared<MacRunLoopSource>(source);
    }

private:
    static CGEventRef deliver(CGEventTapProxy proxy, CGEventType type, CGEventRef event, void* info) {
        // The switched-off notices are the keeper's business; they pass untouched.
        if (!event || isTapDisabledNotice(type)) return event;
        auto* tap = static_cast<MacEventTap*>(info);
        @autoreleasepool {
            try {
                auto wrapped = std::make_shared<MacEvent>(event);
                const EventRef result = tap->callback_(reinterpret_cast<TapProxy>(proxy), eventTypeFromQuartz(type),
                                                       wrapped, tap->userInfo_);
                if (!result) return nullptr;
                if (result == wrapped) return event;
                const auto* other = dynamic_cast<const MacEvent*>(result.get());
                if (!other) return event;
                // The system releases an event it is handed in place of its own.
                CFRetain(other->ref());
                return other->ref();
            } catch (...) {
                // Nothing may unwind into the window server's callback; the event goes on unchanged.
                return event;
            }
        }
    }

    TapCallback callback_;
    void* userInfo_;
    CFMachPortRef port_ = nullptr;
};

}  // namespace

std::shared_ptr<EventTap> MacEventTaps::createTap(const TapSpec& spec) {
    if (!spec.callback) return nullptr;
    auto tap = std::make_shared<MacEventTap>(spec.callback, spec.userInfo);
    if (!tap->create(spec)) return nullptr;
    return tap;
}

void MacEventTaps::postEvent(TapProxy proxy, const EventRef& event) {
    const auto* mac = dynamic_cast<const MacEvent*>(event.get());
    if (!proxy || !mac) return;
    CGEventTapPostEvent(reinterpret_cast<CGEventTapProxy>(proxy), mac->ref());
}

}  // namespace gm::platform::macos
