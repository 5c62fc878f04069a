#include "platform/sim/SimEventTaps.h"

#include <algorithm>

#include "platform/sim/SimRunLoop.h"

namespace gm::platform::sim {

const char* toString(Delivery::Kind kind) {
    switch (kind) {
    case Delivery::Kind::Pass: return "pass";
    case Delivery::Kind::Drop: return "drop";
    case Delivery::Kind::Untapped: return "untapped";
    case Delivery::Kind::Post: return "post";
    }
    return "?";
}

class SimEventTap final : public EventTap, public std::enable_shared_from_this<SimEventTap> {
public:
    explicit SimEventTap(const TapSpec& tapSpec) : spec(tapSpec) {}
    void enable(bool enabled) override { enabled_ = enabled; }
    bool isEnabled() const override { return enabled_; }
    std::shared_ptr<RunLoopSource> createRunLoopSource() override {
        auto source = std::make_shared<RunLoopSource>();
        source_ = source;
        return source;
    }
    const RunLoopSource* source() const { return source_.lock().get(); }
    TapProxy proxy() { return reinterpret_cast<TapProxy>(this); }

    const TapSpec spec;

private:
    bool enabled_ = false;
    std::weak_ptr<RunLoopSource> source_;
};

SimEventTaps::SimEventTaps(SimRunLoop& runLoop, std::function<double()> now, std::function<bool()> trusted)
    : runLoop_(runLoop), now_(std::move(now)), trusted_(std::move(trusted)) {}

std::shared_ptr<EventTap> SimEventTaps::createTap(const TapSpec& spec) {
    if (!trusted_() || !spec.callback) return nullptr;
    auto tap = std::make_shared<SimEventTap>(spec);
    std::erase_if(taps_, [](const auto& weak) { return weak.expired(); });
    taps_.push_back(tap);
    return tap;
}

void SimEventTaps::postEvent(TapProxy proxy, const EventRef& event) {
    if (!proxy || !event) return;
    record(Delivery::Kind::Post, event);
}

void SimEventTaps::deliver(const EventRef& incoming) {
    const std::uint64_t bit = eventMaskBit(incoming->type());
    std::vector<std::shared_ptr<SimEventTap>> chain;
    for (auto it = taps_.rbegin(); it != taps_.rend(); ++it)
        if (auto tap = it->lock(); tap && tap->spec.placement == TapPlacement::HeadInsert) chain.push_back(tap);
    for (const auto& weak : taps_)
        if (auto tap = weak.lock(); tap && tap->spec.placement == TapPlacement::TailAppend) chain.push_back(tap);

    EventRef event = incoming;
    bool modifyingTapSaw = false;
    for (const auto& tap : chain) {
        if (!(tap->spec.mask & bit) || !tap->isEnabled()) continue;
        const RunLoopSource* source = tap->source();
        if (!source || !runLoop_.containsSource(*source)) continue;
        EventRef result = tap->spec.callback(tap->proxy(), event->type(), event, tap->spec.userInfo);
        if (tap->spec.options == TapOptions::ListenOnly) continue;
        modifyingTapSaw = true;
        if (!result) {
            if (event->type() == EventType::ScrollWheel) record(Delivery::Kind::Drop, nullptr);
            return;
        }
        event = result;
    }
    if (event->type() != EventType::ScrollWheel) return;
    record(modifyingTapSaw ? Delivery::Kind::Pass : Delivery::Kind::Untapped, event);
}

bool SimEventTaps::disableBySystem(std::uint64_t mask) {
    for (auto it = taps_.rbegin(); it != taps_.rend(); ++it)
        if (auto tap = it->lock(); tap && tap->spec.mask == mask) {
            tap->enable(false);
            return true;
        }
    return false;
}

void SimEventTaps::record(Delivery::Kind kind, const EventRef& event) {
    if (onDelivery) onDelivery(Delivery{now_(), kind, event ? event->copy() : nullptr});
}

}  // namespace gm::platform::sim
