#pragma once
// The real backends give the engine a thread and run loop of its own (its taps,
// keeper timers and main-queue work live there), so the shell's calls are
// handed over to it.
#include <functional>

#include "app/EngineControl.h"
#include "engine/Engine.h"

namespace gm::app {

// Backend: runOnEngineThread(block), runOnEngineThreadAndWait(block), shutdown().
template <class Backend>
class EngineThreadControl final : public EngineControl {
public:
    explicit EngineThreadControl(Backend& platform) : platform_(platform), engine_(engine::Engine::shared()) {}
    ~EngineThreadControl() override {
        // The shell ends the engine on the way out; make sure that has happened before the threads stop.
        platform_.runOnEngineThreadAndWait([this] { engine_.core.end(); });
        platform_.shutdown();
    }
    EngineThreadControl(const EngineThreadControl&) = delete;
    EngineThreadControl& operator=(const EngineThreadControl&) = delete;

    void start() override {
        platform_.runOnEngineThread([this] { engine_.core.start(); });
    }
    void end() override {
        platform_.runOnEngineThread([this] { engine_.core.end(); });
    }
    bool isActive() const override { return engine_.core.isActive(); }

private:
    Backend& platform_;
    engine::Engine& engine_;
};

}  // namespace gm::app
