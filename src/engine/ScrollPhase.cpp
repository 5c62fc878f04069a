#include "engine/ScrollPhase.h"

namespace gm::engine {

const char* toString(Phase phase) {
    switch (phase) {
    case Phase::Idle: return "Idle";
    case Phase::Contact: return "Contact";
    case Phase::Tracing: return "Tracing";
    case Phase::Momentum: return "Momentum";
    case Phase::PauseAuto: return "PauseAuto";
    case Phase::PauseManual: return "PauseManual";
    }
    return "?";
}

double phaseValue(Phase phase, PhaseItem item) {
    // { scroll phase, momentum phase } per phase, in the order of Phase.
    static constexpr std::array<std::array<double, 2>, 6> table{{
        {0, 0},    // Idle
        {128, 0},  // Contact: may begin
        {2, 0},    // Tracing: changed
        {0, 2},    // Momentum: momentum continues
        {0, 3},    // PauseAuto: momentum ended
        {4, 0},    // PauseManual: ended
    }};
    return table[static_cast<std::size_t>(phase)][static_cast<std::size_t>(item)];
}

std::function<void()> debounce(double interval, platform::DispatchQueue& queue, const platform::Clock& clock,
                               std::function<void()> action) {
    // Shared by the built function and its queued checks; touched on the main queue only.
    struct State {
        double latest = 0;
        double interval = 0;
        const platform::Clock* clock = nullptr;
        std::function<void()> action;
    };
    auto state = std::make_shared<State>();
    state->interval = interval;
    state->clock = &clock;
    state->action = std::move(action);
    return [state, &queue] {
        state->latest = state->clock->mediaTime();
        // The check holds a plain pointer, so queuing it allocates nothing on the scroll path; the
        // state lives as long as the built function, which its owner keeps for as long as its queue runs.
        queue.asyncAfter(state->interval, [s = state.get()] {
            if (s->clock->mediaTime() >= s->latest + s->interval) s->action();
        });
    };
}

ScrollPhase::ScrollPhase(platform::DispatchQueue& mainQueue, const platform::Clock& clock, platform::Logger& logger)
    : debouncedApplyMomentum(debounce(0.3, mainQueue, clock, [this] { applyMomentum(); })) {
    logger.info("Module initialized: ScrollPhase");
}

Phase ScrollPhase::kickInMapping(Phase from) {
    switch (from) {
    case Phase::Idle:
    case Phase::Momentum:
    case Phase::PauseAuto:
    case Phase::PauseManual: return Phase::Contact;
    case Phase::Tracing: return Phase::Tracing;
    case Phase::Contact: return Phase::Contact;  // no entry: unchanged
    }
    return from;
}

Phase ScrollPhase::transformMapping(Phase from) {
    switch (from) {
    case Phase::Contact: return Phase::Tracing;
    case Phase::PauseAuto:
    case Phase::PauseManual: return Phase::Idle;
    default: return from;  // no entry: unchanged
    }
}

void ScrollPhase::kickIn() {
    Phase p = phase();
    while (!phase_.compare_exchange_weak(p, kickInMapping(p), std::memory_order_relaxed)) {
    }
    ++debounceApplyMomentumCallSamplingCount;
    if (debounceApplyMomentumCallSamplingCount % debounceApplyMomentumCallSamplingRate == 0) debouncedApplyMomentum();
}

void ScrollPhase::applyMomentum() {
    setPhase(Phase::Momentum);
    debounceApplyMomentumCallSamplingCount = debounceApplyMomentumCallSamplingRate - 1;
}

void ScrollPhase::transformOnPost() {
    Phase p = phase();
    while (!phase_.compare_exchange_weak(p, transformMapping(p), std::memory_order_relaxed)) {
    }
}

}  // namespace gm::engine
