// The real kernel path: a uinput mouse found through udev, opened, cloned and
// told apart from its clone. Needs /dev/uinput (and udev); skipped without.
#include <gtest/gtest.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/linux/EvdevDevices.h"
#include "platform/linux/WheelCodec.h"

namespace gm::platform::linux_input {
namespace {

TEST(Uinput, CloneOfAWheelMouseIsNeverTakenForAMouse) {
    if (::access("/dev/uinput", W_OK) != 0) GTEST_SKIP() << "no writable /dev/uinput on this machine";
    struct libevdev* dev = libevdev_new();
    libevdev_set_name(dev, "glidemark test wheel mouse");
    libevdev_enable_event_type(dev, EV_REL);
    for (unsigned code : {0u + REL_X, 0u + REL_Y, 0u + REL_WHEEL}) libevdev_enable_event_code(dev, EV_REL, code, nullptr);
    libevdev_enable_event_type(dev, EV_KEY);
    libevdev_enable_event_code(dev, EV_KEY, BTN_LEFT, nullptr);
    struct libevdev_uinput* fake = nullptr;
    ASSERT_EQ(libevdev_uinput_create_from_device(dev, LIBEVDEV_UINPUT_OPEN_MANAGED, &fake), 0);
    const char* node = libevdev_uinput_get_devnode(fake);
    ASSERT_NE(node, nullptr);

    EvdevBackend backend;
    DeviceInfo info{"test", node, "glidemark test wheel mouse"};
    std::unique_ptr<InputSource> source;
    for (int i = 0; i < 100 && !source; ++i) {  // udev may still be setting permissions
        source = backend.open(info);
        if (!source) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!source) GTEST_SKIP() << "cannot read the test mouse (no access to input nodes)";
    auto clone = backend.createClone(*source);
    ASSERT_TRUE(clone);
    EXPECT_FALSE(source->anyKeyDown());
    const input_event frame[] = {makeEvent(EV_REL, REL_WHEEL_HI_RES, 60), makeEvent(EV_SYN, SYN_REPORT, 0)};
    EXPECT_TRUE(clone->writeFrame(frame));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (const DeviceInfo& mouse : findWheelMice()) EXPECT_EQ(mouse.name.find(kCloneNameSuffix), std::string::npos);

    clone.reset();
    source.reset();
    libevdev_uinput_destroy(fake);
    libevdev_free(dev);
}

}  // namespace
}  // namespace gm::platform::linux_input
