#pragma once
#include <functional>
#include <memory>
#include <vector>

#include "platform/Services.h"

namespace gm::platform::sim {

class SimRunLoop;
class SimEventTap;

// What became of one scroll event, in the order it happened.
struct Delivery {
    enum class Kind {
        Pass,      // the scroll tap returned the event
        Drop,      // the scroll tap swallowed it
        Untapped,  // it reached the applications without passing an enabled scroll tap
        Post,      // a synthetic event was posted through a tap proxy
    };
    double time;
    Kind kind;
    EventRef event;  // a copy as it was at that moment; null for Drop
};

const char* toString(Delivery::Kind kind);

// Event taps of the simulated session. An event passes the enabled taps whose
// mask includes its type and whose run-loop source is on the run loop: head-
// inserted taps newest first, then tail-appended taps oldest first. A
// modifying tap that returns null swallows the event; listen-only taps cannot.
class SimEventTaps final : public EventTaps {
public:
    SimEventTaps(SimRunLoop& runLoop, std::function<double()> now, std::function<bool()> trusted);

    std::shared_ptr<EventTap> createTap(const TapSpec& spec) override;
    void postEvent(TapProxy proxy, const EventRef& event) override;

    // An input event reaches the session.
    void deliver(const EventRef& event);
    // The system switches off the newest live tap whose mask is exactly `mask`; false when there is none.
    bool disableBySystem(std::uint64_t mask);

    // Told of every delivery as it happens. Nothing else keeps them: a replay
    // streams millions, so whoever wants them keeps what it reads.
    std::function<void(const Delivery&)> onDelivery;

private:
    void record(Delivery::Kind kind, const EventRef& event);

    SimRunLoop& runLoop_;
    std::function<double()> now_;
    std::function<bool()> trusted_;
    std::vector<std::weak_ptr<SimEventTap>> taps_;  // creation order
};

}  // namespace gm::platform::sim
