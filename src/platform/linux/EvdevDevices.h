#pragma once
// The real device layer: wheel mice found with libudev, read with libevdev,
// cloned through uinput.
#include <functional>
#include <memory>
#include <string>

#include "platform/linux/DeviceClass.h"
#include "platform/linux/InputDevices.h"

struct udev;
struct udev_monitor;
struct udev_device;

namespace gm::platform::linux_input {

class EvdevBackend final : public DeviceBackend {
public:
    std::unique_ptr<InputSource> open(const DeviceInfo& info) override;
    std::unique_ptr<OutputSink> createClone(InputSource& source) override;
    bool accessible() const override;
    std::unique_ptr<GrabWatchdog> startWatchdog() override { return GrabWatchdog::start(); }
};

class UdevMonitor final : public DeviceMonitor {
public:
    UdevMonitor();
    ~UdevMonitor() override;
    UdevMonitor(const UdevMonitor&) = delete;
    UdevMonitor& operator=(const UdevMonitor&) = delete;

    int pollFd() const override;
    void receive(std::vector<Change>& out) override;
    std::vector<DeviceInfo> enumerate() override;

private:
    struct udev* udev_ = nullptr;
    struct udev_monitor* monitor_ = nullptr;
};

// The event nodes of the wheel mice present now (ours excluded).
std::vector<DeviceInfo> findWheelMice();
// Visits every input event node (/dev/input/eventN) whose udev property `property` is "1".
void forEachInputEventNode(const char* property, const std::function<void(udev_device*)>& visit);
bool uinputWritable();

}  // namespace gm::platform::linux_input
