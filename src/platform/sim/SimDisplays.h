#pragma once
#include <vector>

#include "platform/Services.h"

namespace gm::platform::sim {

class Scheduler;

// The refresh rates a simulated screen may have. With virtual times below
// Scheduler::kLatestTime, the tick numbers k stay far below 2^53, so every
// tick has a time of its own.
inline constexpr double kMinRefreshRate = 1.0;
inline constexpr double kMaxRefreshRate = 1000.0;

// Screens and display links of the simulated desktop.
//
// A display link for a screen of refresh rate hz, started at time s, calls its
// callback at the times k / hz (k a whole number; the time is the double
// division k / hz) for the first k with k / hz > s and every k after, until it
// is stopped. Stopping takes effect at once. A link keeps the rate of the
// screen it was created for, even when that screen is later replaced. Rates
// outside the range above are taken as its nearest end (none: 60).
class SimDisplays final : public Displays {
public:
    explicit SimDisplays(Scheduler& scheduler) : scheduler_(scheduler) {}

    void screens(std::vector<Screen>& out) const override { out = screens_; }
    std::unique_ptr<DisplayLink> createDisplayLink(DisplayID display) override;

    // A known display identifier replaces that screen in its place; a new one is appended.
    void setScreen(const Screen& screen);

private:
    Scheduler& scheduler_;
    std::vector<Screen> screens_;
};

}  // namespace gm::platform::sim
