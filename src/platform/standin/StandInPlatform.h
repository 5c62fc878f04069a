#pragma once
// A stand-in backend: real clocks and queues, settings kept in memory, a
// workspace with no applications, no event taps and no displays, and input
// access that is granted (never, with GLIDEMARK_STANDIN_ACCESS=denied). It lets
// the shell start and be tried out on any system without touching input
// (GLIDEMARK_BACKEND=standin); nothing scrolls.
#include <memory>

#include "platform/Platform.h"

namespace gm::platform::standin {

class StandInPlatform final : public Platform {
public:
    StandInPlatform();
    ~StandInPlatform() override;

    Clock& clock() override;
    Workspace& workspace() override;
    EventTaps& eventTaps() override;
    RunLoop& currentRunLoop() override;
    DispatchQueue& mainQueue() override;
    std::unique_ptr<DispatchQueue> createSerialQueue(const std::string& label) override;
    Displays& displays() override;
    InputAccess& inputAccess() override;
    Console& console() override;
    UserDefaults& userDefaults() override;
    Logger& logger() override;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace gm::platform::standin
