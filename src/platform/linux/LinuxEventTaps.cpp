#include "platform/linux/LinuxEventTaps.h"

#include <algorithm>
#include <cstdint>

namespace gm::platform::linux_input {

bool EngineRunLoop::containsSource(const RunLoopSource& source) const {
    std::lock_guard lock(mutex_);
    return std::any_of(sources_.begin(), sources_.end(), [&](const auto& s) { return s.get() == &source; });
}

void EngineRunLoop::addSource(const std::shared_ptr<RunLoopSource>& source) {
    if (!source) return;
    std::lock_guard lock(mutex_);
    if (std::none_of(sources_.begin(), sources_.end(), [&](const auto& s) { return s == source; }))
        sources_.push_back(source);
}

void EngineRunLoop::removeSource(const RunLoopSource& source) {
    std::lock_guard lock(mutex_);
    std::erase_if(sources_, [&](const auto& s) { return s.get() == &source; });
}

namespace {
class TapSource final : public RunLoopSource {};
}  // namespace

class LinuxEventTaps::Tap final : public EventTap {
public:
    explicit Tap(const TapSpec& spec) : spec_(spec) {}
    void enable(bool enabled) override { enabled_.store(enabled); }
    bool isEnabled() const override { return enabled_.load(); }
    std::shared_ptr<RunLoopSource> createRunLoopSource() override {
        std::lock_guard lock(mutex_);
        if (!source_) source_ = std::make_shared<TapSource>();
        return source_;
    }
    const TapSpec& spec() const { return spec_; }
    bool wants(EventType type) const { return (spec_.mask & eventMaskBit(type)) != 0; }
    bool listenOnly() const { return spec_.options == TapOptions::ListenOnly; }
    bool live(const EngineRunLoop& loop) const {
        if (!enabled_.load()) return false;
        std::shared_ptr<RunLoopSource> source;
        {
            std::lock_guard lock(mutex_);
            source = source_;
        }
        return source && loop.containsSource(*source);
    }

private:
    const TapSpec spec_;
    std::atomic<bool> enabled_{true};
    mutable std::mutex mutex_;
    std::shared_ptr<RunLoopSource> source_;
};

LinuxEventTaps::LinuxEventTaps(EngineRunLoop& runLoop, std::function<bool()> accessible,
                               std::function<void()> onFirstTap)
    : runLoop_(runLoop), accessible_(std::move(accessible)), onFirstTap_(std::move(onFirstTap)) {}

TapProxy LinuxEventTaps::proxyFor(DeviceId device) {
    return reinterpret_cast<TapProxy>(static_cast<std::uintptr_t>(device));
}

DeviceId LinuxEventTaps::deviceOf(TapProxy proxy) {
    return static_cast<DeviceId>(reinterpret_cast<std::uintptr_t>(proxy));
}

std::shared_ptr<EventTap> LinuxEventTaps::createTap(const TapSpec& spec) {
    if (!spec.callback || (accessible_ && !accessible_())) return nullptr;
    auto tap = std::make_shared<Tap>(spec);
    bool first = false;
    {
        std::lock_guard lock(mutex_);
        std::erase_if(taps_, [](const auto& weak) { return weak.expired(); });
        if (spec.placement == TapPlacement::HeadInsert) {
            taps_.push_front(tap);
        } else {
            taps_.push_back(tap);
        }
        first = !madeOne_;
        madeOne_ = true;
    }
    if (first && onFirstTap_) onFirstTap_();
    return tap;
}

std::vector<std::shared_ptr<LinuxEventTaps::Tap>> LinuxEventTaps::liveTaps(EventType type) const {
    std::vector<std::shared_ptr<Tap>> out;
    std::lock_guard lock(mutex_);
    for (const auto& weak : taps_) {
        if (auto tap = weak.lock(); tap && tap->wants(type) && tap->live(runLoop_)) out.push_back(std::move(tap));
    }
    return out;
}

bool LinuxEventTaps::wantsScroll() const {
    for (const auto& tap : liveTaps(EventType::ScrollWheel)) {
        if (!tap->listenOnly()) return true;
    }
    return false;
}

void LinuxEventTaps::deliver(DeviceId device, EventType type, EventRef event) {
    // Checked again on the engine thread: a tap disabled or removed meanwhile no longer sees it.
    for (const auto& tap : liveTaps(type)) {
        const TapSpec& spec = tap->spec();
        if (tap->listenOnly()) {
            spec.callback(proxyFor(device), type, event, spec.userInfo);
            continue;
        }
        EventRef result = spec.callback(proxyFor(device), type, event, spec.userInfo);
        if (!result) return;  // swallowed
        event = std::move(result);
    }
    if (type != EventType::ScrollWheel) return;  // the others were forwarded already
    if (DeviceHub* hub = hub_.load()) hub->emitNotches(device, notchesOf(*event));
}

void LinuxEventTaps::scrollWheel(DeviceId device, EventRef event) {
    if (annotate_)
        if (auto* table = dynamic_cast<FieldTableEvent*>(event.get())) annotate_(*table);
    runLoop_.loop().post([this, device, event] { deliver(device, EventType::ScrollWheel, event); });
}

void LinuxEventTaps::leftMouseDown(DeviceId device, EventRef event) {
    runLoop_.loop().post([this, device, event] { deliver(device, EventType::LeftMouseDown, event); });
}

void LinuxEventTaps::flagsChanged(EventRef event) {
    runLoop_.loop().post([this, event] { deliver(0, EventType::FlagsChanged, event); });
}

void LinuxEventTaps::postEvent(TapProxy proxy, const EventRef& event) {
    DeviceHub* hub = hub_.load();
    if (!hub || !event || !proxy) return;
    // A device unplugged meanwhile simply drops the frame: the animation stops there.
    hub->post(deviceOf(proxy), event->doubleValue(field::scrollPointDeltaAxis1),
              event->doubleValue(field::scrollPointDeltaAxis2));
}

}  // namespace gm::platform::linux_input
