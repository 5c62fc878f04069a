// Wheel mice are read as raw evdev frames, and any device can send anything:
// a broken or hostile USB mouse, or a uinput device of any program. Arbitrary
// input-event frames go through the real hub (forwarding, tapping, the wheel
// codec) and the engine's frames through the encoder; every frame written to
// the twin must be well formed.
//
// Input: 8-byte records, little-endian {u16 type, u16 code, s32 value}.
// Type 0xFFFF is not an event but an instruction:
//   code bit 15 clear: post a frame of value * 2^((code & 0xFFF) - 1100)
//                      points, horizontal when bit 14 is set;
//   code bit 15 set:   taps want scroll events when value bit 0 is set;
//                      a tap reverses the tick when bit 1 is set, and with
//                      bit 2 set it writes the fixed-point delta as
//                      (value >> 3) * 2^((code & 0xFFF) - 1100) instead.
#include <sys/eventfd.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "FuzzCheck.h"
#include "platform/Log.h"
#include "platform/linux/DeviceHub.h"

using gm::fuzz::expect;
using namespace gm::platform;
using namespace gm::platform::linux_input;

namespace {

constexpr std::uint16_t kInstruction = 0xFFFF;

double scaled(std::int32_t value, std::uint16_t code) { return std::ldexp(value, (code & 0xFFF) - 1100); }

// What the mouse has "sent" and the hub has not read yet.
struct Feed {
    std::mutex mutex;
    std::vector<input_event> events;
    void send(std::uint16_t type, std::uint16_t code, std::int32_t value) {
        std::lock_guard lock(mutex);
        events.push_back(makeEvent(type, code, value));
    }
};

struct FeedSource final : InputSource {
    explicit FeedSource(Feed& f) : feed(f) {}
    ~FeedSource() override { ::close(fd); }
    int pollFd() const override { return fd; }
    ReadStatus read(std::vector<input_event>& out) override {
        std::lock_guard lock(feed.mutex);
        out.insert(out.end(), feed.events.begin(), feed.events.end());
        feed.events.clear();
        return ReadStatus::Ok;
    }
    bool grab(bool) override { return true; }
    bool anyKeyDown() override { return false; }
    std::string name() const override { return "fuzzed mouse"; }

    Feed& feed;
    int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
};

// The twin: checks every frame the hub writes.
struct CheckingSink final : OutputSink {
    bool writeFrame(std::span<const input_event> frame) override {
        expect(!frame.empty() && frame.back().type == EV_SYN && frame.back().code == SYN_REPORT,
               "a frame written to the twin ends with SYN_REPORT");
        for (const auto& ev : frame.first(frame.size() - 1)) {
            expect(!(ev.type == EV_SYN && (ev.code == SYN_REPORT || ev.code == SYN_DROPPED)),
                   "a frame written to the twin is one frame");
            if (ev.type == EV_REL && isWheelCode(ev.code))
                expect(ev.value != 0 && ev.value != INT32_MIN, "wheel motion written to the twin is not empty");
        }
        return true;
    }
};

// The one device there is, as both the monitor and the backend see it.
struct OneMouse final : Feed, DeviceBackend, DeviceMonitor {
    std::unique_ptr<InputSource> open(const DeviceInfo&) override { return std::make_unique<FeedSource>(*this); }
    std::unique_ptr<OutputSink> createClone(InputSource&) override { return std::make_unique<CheckingSink>(); }
    bool accessible() const override { return true; }
    int pollFd() const override { return -1; }
    void receive(std::vector<Change>&) override {}
    std::vector<DeviceInfo> enumerate() override { return {DeviceInfo{"fuzz", "/dev/input/fuzz", "fuzzed mouse"}}; }
};

// Stands in for the engine's taps: lets ticks through, reversed or rewritten
// as instructed, the way a tap callback may change an event in place.
struct Taps final : HubListener {
    DeviceHub* hub = nullptr;
    bool wants = true;
    bool reverse = false;
    std::optional<double> fixedDelta;

    bool wantsScroll() const override { return wants; }
    void scrollWheel(DeviceId device, EventRef event) override {
        for (const EventField f : {field::scrollDeltaAxis1, field::scrollDeltaAxis2})
            if (reverse) event->setIntegerValue(f, -event->integerValue(f));
        if (fixedDelta) {
            event->setIntegerValue(field::scrollDeltaAxis1, 0);
            event->setDoubleValue(field::scrollFixedPtDeltaAxis1, *fixedDelta);
        }
        const auto notches = notchesOf(*event);
        for (const int n : notches) expect(n >= -1000 && n <= 1000, "a tick re-emits a bounded number of notches");
        if (fixedDelta && std::abs(*fixedDelta) >= 1)
            expect((notches[0] > 0) == (*fixedDelta > 0), "a tick re-emits notches the way its delta points");
        hub->emitNotches(device, notches);
    }
    void leftMouseDown(DeviceId, EventRef) override {}
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    log().setSink(nullptr);  // the hub says hello and goodbye to the mouse on every run
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    OneMouse mouse;
    DeviceHub hub(mouse, mouse, DeviceHub::Options{0});
    Taps taps;
    taps.hub = &hub;
    hub.setListener(&taps);
    hub.start();
    hub.sync();
    const auto devices = hub.devices();
    expect(devices.size() == 1, "the hub takes the mouse");

    bool ended = true;  // whether the events sent so far end a frame
    for (std::size_t at = 0; at + 8 <= size; at += 8) {
        struct {
            std::uint16_t type, code;
            std::int32_t value;
        } r;
        static_assert(sizeof r == 8);
        std::memcpy(&r, data + at, 8);
        if (r.type != kInstruction) {
            mouse.send(r.type, r.code, r.value);
            ended = r.type == EV_SYN && r.code == SYN_REPORT;
            continue;
        }
        hub.sync();  // the hub has handled everything sent so far
        if (!(r.code & 0x8000)) {
            const double points = scaled(r.value, r.code);
            hub.post(devices.front(), (r.code & 0x4000) ? 0.0 : points, (r.code & 0x4000) ? points : 0.0);
        } else {
            taps.wants = r.value & 1;
            taps.reverse = r.value & 2;
            taps.fixedDelta = (r.value & 4) ? std::optional(scaled(r.value >> 3, r.code)) : std::nullopt;
        }
    }
    if (!ended) mouse.send(EV_SYN, SYN_REPORT, 0);
    hub.sync();
    hub.stop();
    return 0;
}
