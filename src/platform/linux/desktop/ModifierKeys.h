#pragma once
// The eight modifier keys as the engine knows them: the key code a
// flags-changed event carries and the flag the key sets. Both ways of
// watching the keyboard (X11 key symbols, kernel key codes) map onto these.
#include <cstdint>

#include "platform/Event.h"

namespace gm::platform::linux_desktop {

struct ModifierKey {
    std::uint16_t keyCode = 0;
    std::uint64_t flag = 0;
};

// Super is the Command key, Alt the Option key.
namespace modifier_keys {
inline constexpr ModifierKey leftCommand{55, flag::command};
inline constexpr ModifierKey rightCommand{54, flag::command};
inline constexpr ModifierKey leftShift{56, flag::shift};
inline constexpr ModifierKey rightShift{60, flag::shift};
inline constexpr ModifierKey leftOption{58, flag::alternate};
inline constexpr ModifierKey rightOption{61, flag::alternate};
inline constexpr ModifierKey leftControl{59, flag::control};
inline constexpr ModifierKey rightControl{62, flag::control};
}  // namespace modifier_keys

}  // namespace gm::platform::linux_desktop
