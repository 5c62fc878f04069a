#pragma once
// Which input devices are wheel mice to take over, told from what the kernel
// and udev say about them. Kept apart from udev and libevdev so the rules can
// be checked against a table of devices on any machine.
#include <string>

namespace gm::platform::linux_input {

// Marks of our own virtual twins. The name is what the kernel always keeps;
// the phys prefix is kept only where the uinput library passes it on (libevdev
// 1.13 does not), so it is never the only sign.
inline constexpr const char* kTwinNameSuffix = " (glidemark)";
inline constexpr const char* kTwinPhysPrefix = "glidemark-clone/";

// One input device as udev and sysfs describe it.
struct DeviceDescription {
    std::string name;     // the kernel's device name
    std::string phys;     // may be empty
    std::string sysname;  // of the input device in sysfs, e.g. "input12"
    bool udevMouse = false;     // ID_INPUT_MOUSE=1
    bool udevKeyboard = false;  // ID_INPUT_KEYBOARD=1
    bool verticalWheel = false;    // REL_WHEEL
    bool horizontalWheel = false;  // REL_HWHEEL
};

enum class DeviceClass {
    WheelMouse,  // ours to grab and twin
    Twin,        // a twin of this or another running copy: never a source
    Other,       // keyboards, touchpads, mice without a wheel, ...
};

DeviceClass classify(const DeviceDescription& device);

// The input devices (sysfs names) of the twins this process has made; read by
// classify(), so a twin is known for what it is even before udev has tagged it.
void noteTwinCreated(const std::string& sysname);
void noteTwinDestroyed(const std::string& sysname);

}  // namespace gm::platform::linux_input
