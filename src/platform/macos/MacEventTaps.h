#pragma once
// Quartz event taps. Each tap hands its events to the engine's callback
// wrapped as Events; posting goes back into the stream through the proxy the
// tap was called with.
#include "platform/Services.h"

namespace gm::platform::macos {

class MacEventTaps final : public EventTaps {
public:
    // Null when the system refuses the tap (no Accessibility permission).
    std::shared_ptr<EventTap> createTap(const TapSpec& spec) override;
    void postEvent(TapProxy proxy, const EventRef& event) override;
};

}  // namespace gm::platform::macos
