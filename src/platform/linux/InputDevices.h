#pragma once
// The device layer: where wheel mice come from and where their clones write
// to. The hub (DeviceHub) only talks to these interfaces, so the same
// forwarding, tapping and posting code runs against real evdev/uinput nodes and
// against the socket-backed fakes of the tests.
#include <linux/input.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/GrabWatchdog.h"

namespace gm::platform::linux_input {

// A wheel mouse as found by the monitor. `id` is stable for one plugged-in
// device (the udev sys path of its event node).
struct DeviceInfo {
    std::string id;
    std::string devNode;
    std::string name;
};

// A mouse we read from.
class InputSource {
public:
    enum class ReadStatus { Ok, Gone };
    virtual ~InputSource() = default;
    virtual int pollFd() const = 0;
    // Appends every event that can be read without blocking. After an overrun
    // the source appends a SYN_DROPPED event followed by the events that bring
    // the reader back in step (a frame of their own ending in SYN_REPORT).
    virtual ReadStatus read(std::vector<input_event>& out) = 0;
    virtual bool grab(bool on) = 0;
    // Whether any button or key of the device is held down right now.
    virtual bool anyKeyDown() = 0;
    virtual std::string name() const = 0;
};

// A clone we write to. One write() per frame, so frames of different threads
// never interleave.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual bool writeFrame(std::span<const input_event> frame) = 0;
    // The descriptor the watchdog may write button releases to; -1 for none.
    virtual int fd() const { return -1; }
};

class DeviceBackend {
public:
    virtual ~DeviceBackend() = default;
    // Null when the device cannot be opened, is not a wheel mouse, or is one of our clones.
    virtual std::unique_ptr<InputSource> open(const DeviceInfo& info) = 0;
    // A virtual device with the capabilities of `source`, plus the high-resolution wheel codes.
    virtual std::unique_ptr<OutputSink> createClone(InputSource& source) = 0;
    // Whether wheel mice can be read and clones created right now.
    virtual bool accessible() const = 0;
    // The keeper that hands grabbed mice back when the program stops answering;
    // null where there is none (the tests' fakes).
    virtual std::unique_ptr<GrabWatchdog> startWatchdog() { return nullptr; }
};

// Tells about wheel mice coming and going.
class DeviceMonitor {
public:
    struct Change {
        bool added = true;
        DeviceInfo info;
    };
    virtual ~DeviceMonitor() = default;
    // Polled for readability; -1 when the monitor has no descriptor.
    virtual int pollFd() const = 0;
    // Changes received since the last call (never blocks).
    virtual void receive(std::vector<Change>& out) = 0;
    // The wheel mice present now. Called once, after the subscription is in place.
    virtual std::vector<DeviceInfo> enumerate() = 0;
};

}  // namespace gm::platform::linux_input
