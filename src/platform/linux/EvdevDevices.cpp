#include "platform/linux/EvdevDevices.h"

#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <libudev.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <mutex>
#include <cstdlib>
#include <cstring>

#include "platform/Log.h"

namespace gm::platform::linux_input {

namespace {

bool startsWith(const char* s, const char* prefix) { return s && std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

bool isEventNode(const char* devnode) { return startsWith(devnode, "/dev/input/event"); }

bool propertyIsOne(struct udev_device* dev, const char* property) {
    const char* value = udev_device_get_property_value(dev, property);
    return value && std::strcmp(value, "1") == 0;
}

// What udev knows of the input device behind an event node.
DeviceDescription describe(struct udev_device* dev) {
    DeviceDescription d;
    d.udevMouse = propertyIsOne(dev, "ID_INPUT_MOUSE");
    d.udevKeyboard = propertyIsOne(dev, "ID_INPUT_KEYBOARD");
    struct udev_device* parent = udev_device_get_parent_with_subsystem_devtype(dev, "input", nullptr);
    if (!parent) return d;
    auto text = [](const char* s) { return std::string(s ? s : ""); };
    d.name = text(udev_device_get_sysattr_value(parent, "name"));
    d.phys = text(udev_device_get_sysattr_value(parent, "phys"));
    d.sysname = text(udev_device_get_sysname(parent));
    if (const char* rel = udev_device_get_sysattr_value(parent, "capabilities/rel")) {
        // Space separated hex words, most significant first; the wheel codes live in the last one.
        const char* last = std::strrchr(rel, ' ');
        const unsigned long bits = std::strtoul(last ? last + 1 : rel, nullptr, 16);
        d.verticalWheel = (bits & (1UL << REL_WHEEL)) != 0;
        d.horizontalWheel = (bits & (1UL << REL_HWHEEL)) != 0;
    }
    return d;
}

bool isWheelMouse(struct udev_device* dev) { return classify(describe(dev)) == DeviceClass::WheelMouse; }

// The sysfs name of the input device an open event node belongs to ("input12").
std::string inputSysnameOf(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return {};
    const std::string link = "/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" +
                             std::to_string(minor(st.st_rdev)) + "/device";
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) return {};
    target[n] = '\0';
    const char* slash = std::strrchr(target, '/');
    return slash ? slash + 1 : target;
}

// The sysfs name at the end of a syspath ("/sys/devices/virtual/input/input12").
std::string lastComponent(const char* path) {
    if (!path) return {};
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// Says once that there is no udev to ask, which is why no mouse is found.
void checkUdevRunning() {
    static std::once_flag once;
    if (::access("/run/udev/control", F_OK) == 0) return;
    std::call_once(once, [] {
        log().error("udev is not running (no /run/udev/control): wheel mice cannot be found or followed");
    });
}

DeviceInfo infoOf(struct udev_device* dev) {
    DeviceInfo info;
    info.id = udev_device_get_syspath(dev);
    const char* node = udev_device_get_devnode(dev);
    info.devNode = node ? node : "";
    struct udev_device* parent = udev_device_get_parent_with_subsystem_devtype(dev, "input", nullptr);
    const char* name = parent ? udev_device_get_sysattr_value(parent, "name") : nullptr;
    info.name = name ? name : info.devNode;
    return info;
}

class EvdevSource final : public InputSource {
public:
    EvdevSource(int fd, struct libevdev* dev) : fd_(fd), dev_(dev) {}
    ~EvdevSource() override {
        libevdev_free(dev_);
        ::close(fd_);
    }
    int pollFd() const override { return fd_; }

    ReadStatus read(std::vector<input_event>& out) override {
        input_event ev{};
        while (true) {
            int rc = libevdev_next_event(dev_, LIBEVDEV_READ_FLAG_NORMAL, &ev);
            if (rc == LIBEVDEV_READ_STATUS_SUCCESS) {
                out.push_back(ev);
            } else if (rc == LIBEVDEV_READ_STATUS_SYNC) {
                // ev is the SYN_DROPPED; libevdev then replays the state
                // changes we missed, ending with a SYN_REPORT.
                out.push_back(ev);
                while ((rc = libevdev_next_event(dev_, LIBEVDEV_READ_FLAG_SYNC, &ev)) == LIBEVDEV_READ_STATUS_SYNC)
                    out.push_back(ev);
                if (rc == -ENODEV) return ReadStatus::Gone;
            } else if (rc == -EAGAIN) {
                return ReadStatus::Ok;
            } else {
                return rc == -ENODEV ? ReadStatus::Gone : ReadStatus::Ok;
            }
        }
    }

    // Straight to the kernel: libevdev remembers its own last grab and skips the
    // call, which is wrong once the watchdog has let go behind its back.
    bool grab(bool on) override { return ioctl(fd_, EVIOCGRAB, on ? 1 : 0) == 0; }

    bool anyKeyDown() override {
        unsigned char bits[KEY_MAX / 8 + 1] = {};
        if (ioctl(fd_, EVIOCGKEY(sizeof bits), bits) < 0) return false;
        for (unsigned char b : bits) {
            if (b) return true;
        }
        return false;
    }

    std::string name() const override {
        const char* n = libevdev_get_name(dev_);
        return n ? n : "";
    }
    struct libevdev* evdev() { return dev_; }

private:
    int fd_;
    struct libevdev* dev_;
};

class UinputSink final : public OutputSink {
public:
    explicit UinputSink(struct libevdev_uinput* uidev)
        : uidev_(uidev), sysname_(lastComponent(libevdev_uinput_get_syspath(uidev))) {
        noteTwinCreated(sysname_);
    }
    ~UinputSink() override {
        libevdev_uinput_destroy(uidev_);
        noteTwinDestroyed(sysname_);
    }
    bool writeFrame(std::span<const input_event> frame) override {
        const auto bytes = static_cast<ssize_t>(frame.size_bytes());
        return ::write(libevdev_uinput_get_fd(uidev_), frame.data(), frame.size_bytes()) == bytes;
    }
    int fd() const override { return libevdev_uinput_get_fd(uidev_); }

private:
    struct libevdev_uinput* uidev_;
    std::string sysname_;
};

}  // namespace

std::unique_ptr<InputSource> EvdevBackend::open(const DeviceInfo& info) {
    const int fd = ::open(info.devNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        log().error("cannot open " + info.devNode + ": " + std::strerror(errno));
        return nullptr;
    }
    struct libevdev* dev = nullptr;
    if (libevdev_new_from_fd(fd, &dev) < 0) {
        ::close(fd);
        return nullptr;
    }
    auto text = [](const char* s) { return std::string(s ? s : ""); };
    DeviceDescription description;
    description.name = text(libevdev_get_name(dev));
    description.phys = text(libevdev_get_phys(dev));
    description.sysname = inputSysnameOf(fd);
    // udev found it a mouse (and no keyboard); the node itself says whether it has a wheel.
    description.udevMouse = true;
    description.verticalWheel = libevdev_has_event_code(dev, EV_REL, REL_WHEEL);
    description.horizontalWheel = libevdev_has_event_code(dev, EV_REL, REL_HWHEEL);
    if (classify(description) != DeviceClass::WheelMouse) {
        libevdev_free(dev);
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<EvdevSource>(fd, dev);
}

std::unique_ptr<OutputSink> EvdevBackend::createClone(InputSource& source) {
    auto* evdevSource = dynamic_cast<EvdevSource*>(&source);
    if (!evdevSource) return nullptr;
    struct libevdev* dev = evdevSource->evdev();
    const std::string name = libevdev_get_name(dev) ? libevdev_get_name(dev) : "mouse";
    const std::string phys = libevdev_get_phys(dev) ? libevdev_get_phys(dev) : "";
    // The clone always speaks high-resolution wheel units, which is what the
    // animation writes, even when the mouse itself only knows notches.
    if (libevdev_has_event_code(dev, EV_REL, REL_WHEEL)) libevdev_enable_event_code(dev, EV_REL, REL_WHEEL_HI_RES, nullptr);
    if (libevdev_has_event_code(dev, EV_REL, REL_HWHEEL)) libevdev_enable_event_code(dev, EV_REL, REL_HWHEEL_HI_RES, nullptr);
    libevdev_set_name(dev, (name + kTwinNameSuffix).c_str());
    libevdev_set_phys(dev, (kTwinPhysPrefix + phys).c_str());
    struct libevdev_uinput* uidev = nullptr;
    const int rc = libevdev_uinput_create_from_device(dev, LIBEVDEV_UINPUT_OPEN_MANAGED, &uidev);
    libevdev_set_name(dev, name.c_str());
    libevdev_set_phys(dev, phys.c_str());
    if (rc < 0) {
        log().error("cannot create uinput device: " + std::string(std::strerror(-rc)));
        return nullptr;
    }
    return std::make_unique<UinputSink>(uidev);
}

bool uinputWritable() { return ::access("/dev/uinput", W_OK) == 0; }

bool EvdevBackend::accessible() const {
    if (!uinputWritable()) return false;
    for (const DeviceInfo& mouse : findWheelMice()) {
        if (::access(mouse.devNode.c_str(), R_OK) != 0) return false;
    }
    return true;
}

void forEachInputEventNode(const char* property, const std::function<void(udev_device*)>& visit) {
    struct udev* u = udev_new();
    if (!u) return;
    struct udev_enumerate* e = udev_enumerate_new(u);
    udev_enumerate_add_match_subsystem(e, "input");
    udev_enumerate_add_match_property(e, property, "1");
    udev_enumerate_scan_devices(e);
    struct udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e)) {
        struct udev_device* dev = udev_device_new_from_syspath(u, udev_list_entry_get_name(entry));
        if (!dev) continue;
        if (isEventNode(udev_device_get_devnode(dev))) visit(dev);
        udev_device_unref(dev);
    }
    udev_enumerate_unref(e);
    udev_unref(u);
}

std::vector<DeviceInfo> findWheelMice() {
    std::vector<DeviceInfo> out;
    forEachInputEventNode("ID_INPUT_MOUSE", [&](udev_device* dev) {
        if (isWheelMouse(dev)) out.push_back(infoOf(dev));
    });
    return out;
}

UdevMonitor::UdevMonitor() {
    udev_ = udev_new();
    if (!udev_) return;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_) return;
    udev_monitor_filter_add_match_subsystem_devtype(monitor_, "input", nullptr);
    if (udev_monitor_enable_receiving(monitor_) < 0) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
    }
}

UdevMonitor::~UdevMonitor() {
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
}

int UdevMonitor::pollFd() const { return monitor_ ? udev_monitor_get_fd(monitor_) : -1; }

void UdevMonitor::receive(std::vector<Change>& out) {
    if (!monitor_) return;
    while (struct udev_device* dev = udev_monitor_receive_device(monitor_)) {
        const char* action = udev_device_get_action(dev);
        if (isEventNode(udev_device_get_devnode(dev)) && action) {
            if (std::strcmp(action, "remove") == 0) {
                out.push_back(Change{false, infoOf(dev)});
            } else if (std::strcmp(action, "add") == 0 && isWheelMouse(dev)) {
                out.push_back(Change{true, infoOf(dev)});
            }
        }
        udev_device_unref(dev);
    }
}

std::vector<DeviceInfo> UdevMonitor::enumerate() {
    checkUdevRunning();
    return findWheelMice();
}

}  // namespace gm::platform::linux_input
