#pragma once
// A stand-in backend: real clocks and queues, settings kept in memory, a
// workspace with no applications, no event taps and no displays, and input
// access that is granted (never, with GLIDEMARK_STANDIN_ACCESS=denied). It
// lets the shell start and be tried out before the Linux backend is chosen in
// PlatformChoice.cpp; nothing scrolls.
#include <memory>

#include "app/EngineControl.h"
#include "platform/Platform.h"

namespace gm::app {

class StandInPlatform final : public platform::Platform {
public:
    StandInPlatform();
    ~StandInPlatform() override;

    platform::Clock& clock() override;
    platform::Workspace& workspace() override;
    platform::EventTaps& eventTaps() override;
    platform::RunLoop& currentRunLoop() override;
    platform::DispatchQueue& mainQueue() override;
    std::unique_ptr<platform::DispatchQueue> createSerialQueue(const std::string& label) override;
    platform::Displays& displays() override;
    platform::InputAccess& inputAccess() override;
    platform::Console& console() override;
    platform::UserDefaults& userDefaults() override;
    platform::Logger& logger() override;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

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
