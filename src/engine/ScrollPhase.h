#pragma once
// Follows a smoothed scroll in terms of the platform's scroll phases. The
// scroll core kicks it for every wheel event, the poster advances it on every
// event it posts and sets it when an animation stops, and a debounced action
// moves it to Momentum shortly after a burst of wheel events.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Log.h"
#include "platform/Services.h"

namespace gm::engine {

enum class Phase : std::uint8_t { Idle, Contact, Tracing, Momentum, PauseAuto, PauseManual };
enum class PhaseItem : std::uint8_t { Scroll, Momentum };

const char* toString(Phase phase);

// Values of the scroll-phase (99) and momentum-phase (123) fields for each phase.
double phaseValue(Phase phase, PhaseItem item);

// A function that runs `action` on `queue` once, `interval` seconds after the
// last of a burst of calls.
std::function<void()> debounce(double interval, platform::DispatchQueue& queue, const platform::Clock& clock,
                               std::function<void()> action);

class ScrollPhase {
public:
    ScrollPhase(platform::DispatchQueue& mainQueue, const platform::Clock& clock, platform::Logger& logger);

    void kickIn();
    void applyMomentum();

    // Read and written by the poster on its own queue as well as here: single
    // reads and writes are atomic, and the last writer wins.
    Phase phase() const { return phase_.load(std::memory_order_relaxed); }
    void setPhase(Phase p) { phase_.store(p, std::memory_order_relaxed); }
    // What a posted event does to the phase.
    void transformOnPost();

    static Phase kickInMapping(Phase from);
    static Phase transformMapping(Phase from);

    std::int64_t debounceApplyMomentumCallSamplingRate = 3;
    std::int64_t debounceApplyMomentumCallSamplingCount = 2;

private:
    std::atomic<Phase> phase_{Phase::Idle};
    std::function<void()> debouncedApplyMomentum;
};

}  // namespace gm::engine
