#include "platform/linux/desktop/EvdevModifiers.h"

#include <fcntl.h>
#include <libudev.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/Log.h"
#include "platform/linux/EvdevDevices.h"

namespace gm::platform::linux_desktop {
namespace {

constexpr std::array<unsigned, 8> kModifierCodes = {KEY_LEFTMETA,  KEY_RIGHTMETA, KEY_LEFTSHIFT, KEY_RIGHTSHIFT,
                                                     KEY_LEFTALT,   KEY_RIGHTALT,  KEY_LEFTCTRL,  KEY_RIGHTCTRL};

constexpr std::size_t kLongBits = sizeof(unsigned long) * CHAR_BIT;

template <std::size_t Count>
using Bitmap = std::array<unsigned long, (Count + kLongBits - 1) / kLongBits>;

template <std::size_t Count>
void setBit(Bitmap<Count>& bits, unsigned bit) {
    bits[bit / kLongBits] |= 1UL << (bit % kLongBits);
}

template <std::size_t Count>
bool setMask(int fd, unsigned type, const Bitmap<Count>& bits) {
    input_mask mask{};
    mask.type = type;
    mask.codes_size = static_cast<std::uint32_t>(sizeof(bits));
    mask.codes_ptr = reinterpret_cast<std::uintptr_t>(bits.data());
    return ::ioctl(fd, EVIOCSMASK, &mask) == 0;
}

template <typename Visit>
void forEachKeyboardNode(Visit visit) {
    linux_input::forEachInputEventNode("ID_INPUT_KEYBOARD",
                                       [&](udev_device* dev) { visit(std::string(udev_device_get_devnode(dev))); });
}

}  // namespace

std::optional<ModifierKey> modifierForLinuxKey(unsigned code) {
    switch (code) {
        case KEY_LEFTMETA: return modifier_keys::leftCommand;
        case KEY_RIGHTMETA: return modifier_keys::rightCommand;
        case KEY_LEFTSHIFT: return modifier_keys::leftShift;
        case KEY_RIGHTSHIFT: return modifier_keys::rightShift;
        case KEY_LEFTALT: return modifier_keys::leftOption;
        case KEY_RIGHTALT: return modifier_keys::rightOption;
        case KEY_LEFTCTRL: return modifier_keys::leftControl;
        case KEY_RIGHTCTRL: return modifier_keys::rightControl;
        default: return std::nullopt;
    }
}

// ---- state ----------------------------------------------------------------------------

bool KeyboardModifierState::heldAnywhere(std::uint16_t keyCode) const {
    return std::any_of(held_.begin(), held_.end(), [&](const auto& h) { return h.second.keyCode == keyCode; });
}

std::uint64_t KeyboardModifierState::flags() const {
    std::uint64_t flags = 0;
    for (const auto& h : held_) flags |= h.second.flag;
    return flags;
}

std::optional<KeyboardModifierState::Change> KeyboardModifierState::key(int device, unsigned code, int value) {
    const auto key = modifierForLinuxKey(code);
    if (!key || (value != 0 && value != 1)) return std::nullopt;
    const auto it = std::find_if(held_.begin(), held_.end(), [&](const auto& h) {
        return h.first == device && h.second.keyCode == key->keyCode;
    });
    if (value == 1) {
        if (it != held_.end()) return std::nullopt;
        const bool wasHeld = heldAnywhere(key->keyCode);
        held_.emplace_back(device, *key);
        if (wasHeld) return std::nullopt;
    } else {
        if (it == held_.end()) return std::nullopt;
        held_.erase(it);
        if (heldAnywhere(key->keyCode)) return std::nullopt;
    }
    return Change{*key, flags()};
}

std::vector<KeyboardModifierState::Change> KeyboardModifierState::forget(int device) {
    std::vector<ModifierKey> gone;
    for (const auto& h : held_)
        if (h.first == device) gone.push_back(h.second);
    held_.erase(std::remove_if(held_.begin(), held_.end(), [&](const auto& h) { return h.first == device; }),
                held_.end());
    std::vector<Change> changes;
    std::uint64_t flags = this->flags();
    for (const auto& key : gone) {
        if (heldAnywhere(key.keyCode)) continue;
        // Report each key's release as if it came alone, in the order they were pressed.
        changes.push_back(Change{key, 0});
    }
    // Flags after each change: what is still held plus the keys not yet reported.
    for (std::size_t i = changes.size(); i-- > 0;) {
        changes[i].flags = flags;
        flags |= changes[i].key.flag;
    }
    return changes;
}

// ---- udev keyboards -------------------------------------------------------------------

std::vector<std::string> UdevKeyboards::nodes() {
    std::vector<std::string> out;
    forEachKeyboardNode([&](std::string node) { out.push_back(std::move(node)); });
    return out;
}

bool UdevKeyboards::anyReadable() {
    bool readable = false;
    forEachKeyboardNode([&](const std::string& node) { readable = readable || ::access(node.c_str(), R_OK) == 0; });
    return readable;
}

std::vector<int> UdevKeyboards::open() {
    std::vector<int> fds;
    for (const auto& node : nodes()) {
        // No EVIOCGRAB: the desktop keeps receiving every key as before.
        const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) fds.push_back(fd);
    }
    return fds;
}

bool UdevKeyboards::restrictToModifiers(int fd) {
    // Event types first: only key events (and the sync reports that frame them) pass.
    Bitmap<EV_CNT> types{};
    setBit<EV_CNT>(types, EV_SYN);
    setBit<EV_CNT>(types, EV_KEY);
    if (!setMask<EV_CNT>(fd, EV_SYN, types)) return false;
    Bitmap<KEY_CNT> keys{};
    for (const unsigned code : kModifierCodes) setBit<KEY_CNT>(keys, code);
    if (!setMask<KEY_CNT>(fd, EV_KEY, keys)) return false;
    // The other types are already held back by the type mask; empty code masks
    // keep them out should that mask ever be reset.
    return setMask<REL_CNT>(fd, EV_REL, {}) && setMask<ABS_CNT>(fd, EV_ABS, {}) &&
           setMask<MSC_CNT>(fd, EV_MSC, {}) && setMask<SW_CNT>(fd, EV_SW, {}) && setMask<LED_CNT>(fd, EV_LED, {}) &&
           setMask<SND_CNT>(fd, EV_SND, {}) && setMask<FF_CNT>(fd, EV_FF, {});
}

void UdevKeyboards::close(int fd) { ::close(fd); }

// ---- reader ---------------------------------------------------------------------------

EvdevModifiers::EvdevModifiers(std::unique_ptr<KeyboardDevices> devices) : devices_(std::move(devices)) {}

EvdevModifiers::~EvdevModifiers() { stop(); }

void EvdevModifiers::setCallback(Callback callback) {
    std::lock_guard lock(mutex_);
    callback_ = std::move(callback);
}

std::uint64_t EvdevModifiers::flags() const {
    std::lock_guard lock(mutex_);
    return state_.flags();
}

std::size_t EvdevModifiers::start() {
    if (thread_.joinable()) return 0;  // the thread owns the list now
    std::size_t refused = 0;
    for (const int fd : devices_->open()) {
        if (devices_->restrictToModifiers(fd)) {
            fds_.push_back(fd);
        } else {
            // Without the kernel's filter every key typed would reach us: not read at all.
            devices_->close(fd);
            ++refused;
        }
    }
    if (refused > 0)
        log().error("Block keys: " + std::to_string(refused) +
                    " keyboard(s) left unread, the kernel cannot restrict them to modifier keys");
    if (fds_.empty()) return 0;
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        closeAll();
        return 0;
    }
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
    return fds_.size();
}

void EvdevModifiers::stop() {
    if (thread_.joinable()) {
        stopping_ = true;
        const char byte = 0;
        [[maybe_unused]] const auto n = ::write(wake_[1], &byte, 1);
        thread_.join();
    }
    closeAll();
}

void EvdevModifiers::closeAll() {
    for (const int fd : fds_) devices_->close(fd);
    fds_.clear();
    for (int& end : wake_) {
        if (end >= 0) ::close(end);
        end = -1;
    }
}

void EvdevModifiers::run() {
    std::vector<pollfd> polled;
    while (!stopping_ && !fds_.empty()) {
        polled.clear();
        polled.push_back({wake_[0], POLLIN, 0});
        for (const int fd : fds_) polled.push_back({fd, POLLIN, 0});
        if (::poll(polled.data(), polled.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (polled[0].revents != 0) break;
        for (std::size_t i = 1; i < polled.size(); ++i) {
            if (polled[i].revents == 0) continue;
            const int fd = polled[i].fd;
            if (drain(fd)) continue;
            // Unplugged: its keys count as released.
            release(fd);
            dropping_.erase(std::remove(dropping_.begin(), dropping_.end(), fd), dropping_.end());
            devices_->close(fd);
            fds_.erase(std::find(fds_.begin(), fds_.end(), fd));
        }
    }
}

bool EvdevModifiers::drain(int fd) {
    std::array<input_event, 32> events{};
    for (;;) {
        const auto n = ::read(fd, events.data(), sizeof(events));
        if (n == 0) return false;
        if (n < 0) return errno == EAGAIN || errno == EINTR;
        const auto count = static_cast<std::size_t>(n) / sizeof(input_event);
        for (std::size_t i = 0; i < count; ++i) {
            const auto& ev = events[i];
            if (ev.type == EV_SYN && ev.code == SYN_DROPPED) {
                // The kernel's buffer overflowed and a release may be lost.
                // Rather than ask for the whole keyboard's state, let go of
                // this keyboard's keys and ignore the rest of the broken report.
                if (std::find(dropping_.begin(), dropping_.end(), fd) == dropping_.end()) dropping_.push_back(fd);
                release(fd);
                continue;
            }
            const auto dropped = std::find(dropping_.begin(), dropping_.end(), fd);
            if (dropped != dropping_.end()) {
                if (ev.type == EV_SYN && ev.code == SYN_REPORT) dropping_.erase(dropped);
                continue;
            }
            if (ev.type != EV_KEY) continue;
            std::optional<KeyboardModifierState::Change> change;
            {
                std::lock_guard lock(mutex_);
                change = state_.key(fd, ev.code, ev.value);
            }
            if (change) report(*change);
        }
    }
}

void EvdevModifiers::release(int fd) {
    std::vector<KeyboardModifierState::Change> released;
    {
        std::lock_guard lock(mutex_);
        released = state_.forget(fd);
    }
    for (const auto& change : released) report(change);
}

void EvdevModifiers::report(const KeyboardModifierState::Change& change) {
    Callback callback;
    {
        std::lock_guard lock(mutex_);
        callback = callback_;
    }
    if (!callback) return;
    // Wayland tells no client where the pointer is; the flags and key code are what the tap needs.
    auto event = std::make_shared<FieldTableEvent>(EventType::FlagsChanged, change.flags, Point{});
    event->setIntegerValue(field::keyboardKeycode, change.key.keyCode);
    callback(event);
}

}  // namespace gm::platform::linux_desktop
