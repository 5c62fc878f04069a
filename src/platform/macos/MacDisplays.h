#pragma once
// Screens from Quartz Display Services and one Core Video display link per
// display. Screens are given in CGDisplayBounds' space, which is also where
// events are located, so the display under the pointer needs no flipping of
// coordinates.
#include <map>
#include <mutex>
#include <vector>

#include "platform/Services.h"

namespace gm::platform::macos {

class MacDisplays final : public Displays {
public:
    void screens(std::vector<Screen>& out) const override;
    std::unique_ptr<DisplayLink> createDisplayLink(DisplayID display) override;

private:
    double refreshRateOf(DisplayID display) const;

    mutable std::mutex mutex_;
    // Refresh rates by display, kept while the set of displays stays the same:
    // asking costs a mode copy (and a display link on panels that report 0)
    // on every tick otherwise.
    mutable std::vector<DisplayID> known_;
    mutable std::map<DisplayID, double> rates_;
    mutable std::vector<DisplayID> ids_;
};

}  // namespace gm::platform::macos
