#include "platform/linux/DeviceClass.h"

#include <mutex>
#include <set>

namespace gm::platform::linux_input {

namespace {

std::mutex& registryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::set<std::string>& twins() {
    static std::set<std::string> names;
    return names;
}

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool isTwin(const DeviceDescription& device) {
    if (endsWith(device.name, kTwinNameSuffix) || device.phys.starts_with(kTwinPhysPrefix)) return true;
    if (device.sysname.empty()) return false;
    std::lock_guard lock(registryMutex());
    return twins().contains(device.sysname);
}

}  // namespace

DeviceClass classify(const DeviceDescription& device) {
    // A twin is a mouse with a wheel in every other respect: taking it for a
    // source would twin it again, and again.
    if (isTwin(device)) return DeviceClass::Twin;
    if (!device.udevMouse || device.udevKeyboard) return DeviceClass::Other;
    return device.verticalWheel || device.horizontalWheel ? DeviceClass::WheelMouse : DeviceClass::Other;
}

void noteTwinCreated(const std::string& sysname) {
    if (sysname.empty()) return;
    std::lock_guard lock(registryMutex());
    twins().insert(sysname);
}

void noteTwinDestroyed(const std::string& sysname) {
    std::lock_guard lock(registryMutex());
    twins().erase(sysname);
}

}  // namespace gm::platform::linux_input
