#pragma once
// Modifier keys as flags-changed events, read from the keyboards' event
// nodes: the way on Wayland, where no client may watch the keyboard. Reading
// a keyboard is reading everything typed on it, so each node is opened
// read-only and without a grab, and the kernel is told to pass on only the
// eight modifier keys before a single event is read. A node the kernel cannot
// filter is closed unread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Event.h"
#include "platform/linux/desktop/ModifierKeys.h"

namespace gm::platform::linux_desktop {

// The kernel key code (KEY_LEFTSHIFT...) of a modifier; null for every other key.
std::optional<ModifierKey> modifierForLinuxKey(unsigned code);

// The held modifier keys across all keyboards. A key counts as down while any
// keyboard holds it, so a change is reported only when the first keyboard
// presses it or the last one lets go.
class KeyboardModifierState {
public:
    struct Change {
        ModifierKey key;
        std::uint64_t flags = 0;  // after the change
    };
    // `value` as in the kernel's key events: 1 press, 0 release, 2 repeat.
    std::optional<Change> key(int device, unsigned code, int value);
    // The device is gone: its keys are let go. The keys no longer held anywhere.
    std::vector<Change> forget(int device);
    std::uint64_t flags() const;

private:
    bool heldAnywhere(std::uint16_t keyCode) const;
    std::vector<std::pair<int, ModifierKey>> held_;  // (device, key)
};

// Where the keyboards come from; tests give pipes instead.
class KeyboardDevices {
public:
    virtual ~KeyboardDevices() = default;
    // Opens every keyboard node read-only and non-blocking; the descriptors
    // belong to the caller, who returns them through close().
    virtual std::vector<int> open() = 0;
    // Has the kernel pass on only the modifier keys from now on; false when it cannot.
    virtual bool restrictToModifiers(int fd) = 0;
    virtual void close(int fd) = 0;
};

// The real keyboards, found with udev (ID_INPUT_KEYBOARD=1).
class UdevKeyboards final : public KeyboardDevices {
public:
    std::vector<int> open() override;
    bool restrictToModifiers(int fd) override;
    void close(int fd) override;
    // The keyboard event nodes present now.
    static std::vector<std::string> nodes();
    // True when this user may read at least one keyboard node (the opt-in rule is in place).
    static bool anyReadable();
};

class EvdevModifiers {
public:
    // Gets a FlagsChanged event whose field 9 is the key code and whose flags
    // are the modifiers held after the change. Runs on the reading thread.
    using Callback = std::function<void(const EventRef& event)>;

    explicit EvdevModifiers(std::unique_ptr<KeyboardDevices> devices);
    ~EvdevModifiers();
    EvdevModifiers(const EvdevModifiers&) = delete;
    EvdevModifiers& operator=(const EvdevModifiers&) = delete;

    void setCallback(Callback callback);
    // Opens and restricts the keyboards, then reads them on a thread of its
    // own. The number of keyboards being read; with none, no thread starts.
    // Once running, a second call does nothing and returns 0.
    std::size_t start();
    // Joins the thread and closes the keyboards. Safe to call twice.
    void stop();
    std::uint64_t flags() const;

private:
    void run();
    // False when the device is gone or broken and must be dropped.
    bool drain(int fd);
    // Lets go of every key the keyboard holds, reporting those now up everywhere.
    void release(int fd);
    void report(const KeyboardModifierState::Change& change);
    void closeAll();

    std::unique_ptr<KeyboardDevices> devices_;
    std::vector<int> fds_;      // the restricted keyboards; only the thread changes it once started
    std::vector<int> dropping_;  // keyboards whose events are skipped until the next report
    int wake_[2] = {-1, -1};    // a pipe that ends the thread's poll
    std::atomic<bool> stopping_{false};
    std::thread thread_;

    mutable std::mutex mutex_;
    Callback callback_;
    KeyboardModifierState state_;
};

}  // namespace gm::platform::linux_desktop
