#pragma once
#include "app/EngineControl.h"
#include "platform/Services.h"

namespace gm::app {

// An engine that only records whether it was asked to run, and says so in the log.
class StandInEngine final : public EngineControl {
public:
    explicit StandInEngine(platform::InputAccess& access) : access_(access) {}
    void start() override;
    void end() override;
    bool isActive() const override { return active_; }

private:
    platform::InputAccess& access_;
    bool active_ = false;
};

}  // namespace gm::app
