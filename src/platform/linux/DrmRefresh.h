#pragma once
// When the screen last refreshed, from the kernel's display driver (DRM), so
// the display clocks tick on the screen's own refreshes.
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/Services.h"

namespace gm::platform::linux_input {

// The last vertical blank of the first card node that answers (CLOCK_MONOTONIC
// nanoseconds). Null where none does: no card node, no access to it, or a
// driver without vertical blanks, as under most virtual machines. Every
// display is taken to refresh with the first CRTC: exact on one screen, and
// the phase of the main one on several.
std::function<std::optional<std::int64_t>(DisplayID)> drmRefreshPhase();

}  // namespace gm::platform::linux_input
