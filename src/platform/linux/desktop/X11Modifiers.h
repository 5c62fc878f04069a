#pragma once
// Modifier keys as flags-changed events, on X11. The keys are read as XInput2
// raw events on the root window, which every client may receive without
// focus or grabs and without seeing the other keys' meaning beyond their codes.
#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/Event.h"
#include "platform/linux/desktop/ModifierKeys.h"
#include "platform/linux/desktop/X11Connection.h"

namespace gm::platform::linux_desktop {

// Other key symbols are no modifier.
std::optional<ModifierKey> modifierForKeysym(std::uint32_t keysym);

// Which of the engine's flags the X modifier bits stand for, from the server's
// modifier map (Alt and Super may be on any of Mod1..Mod5).
struct ModifierMasks {
    std::uint16_t shift = XCB_MOD_MASK_SHIFT;
    std::uint16_t control = XCB_MOD_MASK_CONTROL;
    std::uint16_t alt = XCB_MOD_MASK_1;
    std::uint16_t super = XCB_MOD_MASK_4;
    std::uint64_t flagsFor(std::uint16_t state) const;
};

// The held modifier keys and the flags they make. A key that was already down
// when tracking began is known only by its flag, not its side; releasing
// either side clears that flag.
class ModifierState {
public:
    void seed(std::uint64_t flags);
    // Null when the key was already in that state (auto-repeat, or a
    // release we never saw pressed).
    std::optional<std::uint64_t> press(ModifierKey key);
    std::optional<std::uint64_t> release(ModifierKey key);
    std::uint64_t flags() const;

private:
    std::vector<ModifierKey> heldKeys_;
    std::uint64_t unsided_ = 0;
};

class X11Modifiers {
public:
    // The callback gets a FlagsChanged event whose field 9 is the key code and
    // whose flags are the modifiers held after the change. It runs on the
    // thread that reads the connection's events.
    using Callback = std::function<void(const EventRef& event)>;

    explicit X11Modifiers(X11Connection& connection);
    ~X11Modifiers();
    X11Modifiers(const X11Modifiers&) = delete;
    X11Modifiers& operator=(const X11Modifiers&) = delete;

    // False when the server has no XInput 2; then no events come.
    bool available() const { return available_; }
    void setCallback(Callback callback);
    // The modifiers held now, as last seen.
    std::uint64_t flags() const;

private:
    void handleEvent(const xcb_generic_event_t& event);
    void loadKeymap();
    std::optional<ModifierKey> keyFor(std::uint8_t keycode) const;

    X11Connection& connection_;
    bool available_ = false;
    std::uint8_t xinputOpcode_ = 0;
    X11Connection::HandlerId handlerId_ = 0;

    mutable std::mutex mutex_;
    Callback callback_;
    ModifierState state_;
    ModifierMasks masks_;
    std::uint8_t minKeycode_ = 8;
    std::vector<std::uint32_t> firstKeysyms_;  // per keycode from minKeycode_
};

}  // namespace gm::platform::linux_desktop
