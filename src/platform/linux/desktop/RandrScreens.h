#pragma once
// The screens of an X11 desktop from RandR: one per active CRTC, in global
// coordinates with the primary output's screen first, re-read whenever the
// server reports a change of the screen layout.
#include <xcb/xcb.h>

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/Services.h"
#include "platform/linux/desktop/X11Connection.h"

namespace gm::platform::linux_desktop {

inline constexpr double kFallbackRefreshRate = 60.0;

// Vertical refresh of a mode: dot clock / (htotal × vtotal), where a
// double-scanned mode draws each line twice and an interlaced one shows
// half the lines per field. Falls back when the timings are unknown (zero).
double modeRefreshRate(std::uint32_t dotClock, std::uint16_t htotal, std::uint16_t vtotal, std::uint32_t modeFlags);

class RandrScreens {
public:
    explicit RandrScreens(X11Connection& connection);
    ~RandrScreens();
    RandrScreens(const RandrScreens&) = delete;
    RandrScreens& operator=(const RandrScreens&) = delete;

    // As Displays::screens: fills `out`, reusing its storage.
    void screens(std::vector<Screen>& out) const;
    // The middle of the first (main) screen; the origin when there is none.
    Point mainScreenCentre() const;
    // Reads the layout from the server now.
    void reload();

private:
    void handleEvent(const xcb_generic_event_t& event);

    X11Connection& connection_;
    bool hasRandr_ = false;
    std::uint8_t firstEvent_ = 0;
    X11Connection::HandlerId handlerId_ = 0;
    mutable std::mutex mutex_;
    std::vector<Screen> screens_;
};

}  // namespace gm::platform::linux_desktop
