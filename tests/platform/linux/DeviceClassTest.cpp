// Which devices are taken over, as a table of devices described the way udev
// and sysfs describe them.
#include <gtest/gtest.h>

#include "platform/linux/DeviceClass.h"

namespace gm::platform::linux_input {
namespace {

struct Row {
    const char* what;
    DeviceDescription device;
    DeviceClass expected;
};

TEST(DeviceClass, TableOfDevices) {
    noteTwinCreated("input40");
    const Row rows[] = {
        {"plain wheel mouse", {"Logi M185", "usb-0000:00:14.0-1/input0", "input7", true, false, true, false}, DeviceClass::WheelMouse},
        {"tilt wheel only", {"Tilt", "", "input8", true, false, false, true}, DeviceClass::WheelMouse},
        {"mouse that is also a keyboard", {"Combo", "", "input9", true, true, true, false}, DeviceClass::Other},
        {"trackpoint, no wheel", {"TPPS/2 TrackPoint", "", "input10", true, false, false, false}, DeviceClass::Other},
        {"not a mouse to udev", {"Keyboard", "", "input11", false, true, true, false}, DeviceClass::Other},
        // What the kernel reports for a twin made through libevdev 1.13: the phys is lost.
        {"our twin, name only", {"Logi M185 (glidemark)", "", "input12", true, false, true, false}, DeviceClass::Twin},
        {"a twin with its phys", {"Logi", "glidemark-clone/usb-1", "input13", true, false, true, false}, DeviceClass::Twin},
        {"a twin we made, renamed", {"Logi M185", "", "input40", true, false, true, false}, DeviceClass::Twin},
    };
    for (const Row& row : rows) EXPECT_EQ(classify(row.device), row.expected) << row.what;
    noteTwinDestroyed("input40");
    EXPECT_EQ(classify(rows[7].device), DeviceClass::WheelMouse);
}

}  // namespace
}  // namespace gm::platform::linux_input
