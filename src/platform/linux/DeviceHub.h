#pragma once
// The forwarding side: owns every grabbed wheel mouse and its clone. One
// thread of its own reads the mice, forwards everything that is not wheel
// motion to the clone at once, and hands wheel notches to the listener (the
// event taps). Posting and re-emitting run on the caller's thread; every write
// to a clone is one frame in one write() under the clone's lock.
//
// A wheel that reports less than whole notches (free-spinning, or a
// high-resolution wheel) scrolls smoothly by itself: from its first such frame
// on, its wheel frames go straight to the clone and the taps never see them,
// the way gesture scrolling passes by untouched. The same happens to every
// wheel frame while no tap wants scroll events.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/linux/InputDevices.h"
#include "platform/linux/WheelCodec.h"

namespace gm::platform::linux_input {

using DeviceId = std::uint32_t;

// Receives what the hub reads, on the hub's thread.
class HubListener {
public:
    virtual ~HubListener() = default;
    // Whether wheel notches go to a tap; when false they pass straight through.
    virtual bool wantsScroll() const = 0;
    virtual void scrollWheel(DeviceId device, EventRef event) = 0;
    virtual void leftMouseDown(DeviceId device, EventRef event) = 0;
};

struct HubStats {
    std::uint64_t framesForwarded = 0;
    std::uint64_t framesDropped = 0;  // partial frames discarded after an overrun
    std::uint64_t scrollsTapped = 0;
    std::uint64_t scrollsPassed = 0;
};

class DeviceHub {
public:
    struct Options {
        double settleSeconds = 0.2;  // hot-plug bursts are applied after this much quiet
    };

    DeviceHub(DeviceBackend& backend, DeviceMonitor& monitor, Options options);
    DeviceHub(DeviceBackend& backend, DeviceMonitor& monitor) : DeviceHub(backend, monitor, Options{}) {}
    ~DeviceHub();
    DeviceHub(const DeviceHub&) = delete;
    DeviceHub& operator=(const DeviceHub&) = delete;

    void setListener(HubListener* listener);
    // Starts the forwarding thread: enumerates the present mice and follows hot-plug.
    void start();
    // Stops the thread and gives every mouse back: held buttons released on the
    // clone, grab dropped, clone destroyed. Idempotent.
    void stop();
    bool isRunning() const { return running_.load(); }

    // A frame of the scroll animation: point deltas of the platform's sign
    // convention, written as high-resolution wheel units. False when the device is gone.
    bool post(DeviceId device, double pointsV, double pointsH);
    // Whole notches of a tapped tick the listener let through.
    bool emitNotches(DeviceId device, std::array<int, 2> notches);

    // Returns once everything readable at the time of the call has been handled.
    void sync();
    std::vector<DeviceId> devices() const;
    std::vector<std::string> deviceIds() const;
    HubStats stats() const;
    // The encoder state of one clone, for inspection.
    std::optional<std::array<std::int64_t, 2>> emittedUnits(DeviceId device) const;

private:
    struct Clone {
        std::mutex mutex;
        std::unique_ptr<OutputSink> sink;  // null once the device is gone
        WheelEncoder encoder;
        std::vector<input_event> posted;  // reused for every posted frame
        bool write(std::span<const input_event> frame);
    };
    enum class Stage { WaitingForRelease, Forwarding };
    struct Device {
        DeviceId id = 0;
        DeviceInfo info;
        std::unique_ptr<InputSource> source;
        std::shared_ptr<Clone> clone;
        Stage stage = Stage::WaitingForRelease;
        std::vector<input_event> pending;  // events of the frame being read
        std::set<std::uint16_t> keysDown;  // as forwarded to the clone
        bool smoothWheel = false;          // reported sub-notch motion at least once
        bool handedBack = false;           // by the watchdog, while we were not answering
    };

    void run();
    void wake();
    void applyChanges(const std::vector<DeviceMonitor::Change>& changes);
    void addDevice(const DeviceInfo& info);
    void removeDevice(DeviceId id, bool sourceGone);
    void readDevice(Device& device);
    void handleFrame(Device& device, std::vector<input_event>& frame);
    // False when the mouse cannot be grabbed at all (the caller lets it go).
    bool tryGrab(Device& device);
    void serviceSyncRequests();
    void takeBackHandedBack();
    std::shared_ptr<Clone> cloneOf(DeviceId id) const;

    DeviceBackend& backend_;
    DeviceMonitor& monitor_;
    Options options_;
    std::atomic<HubListener*> listener_{nullptr};
    std::atomic<bool> running_{false};
    std::atomic<bool> quit_{false};
    std::thread thread_;
    int epollFd_ = -1;
    int wakeFd_ = -1;
    std::unique_ptr<GrabWatchdog> watchdog_;  // forwarding thread only, once started

    // Forwarding thread only.
    std::map<DeviceId, Device> devices_;
    DeviceId nextId_ = 1;
    std::vector<input_event> scratch_;
    std::vector<input_event> out_;

    mutable std::mutex mutex_;  // guards clones_, stats_, the sync handshake
    std::map<DeviceId, std::shared_ptr<Clone>> clones_;
    std::map<DeviceId, std::string> names_;
    HubStats stats_;
    std::uint64_t syncRequested_ = 0;
    std::uint64_t syncServed_ = 0;
    std::condition_variable syncCv_;
};

// CLOCK_MONOTONIC in seconds.
double monotonicSeconds();

}  // namespace gm::platform::linux_input
