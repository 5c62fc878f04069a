#pragma once
// The macOS platform table. The engine runs on a thread of its own with its
// own CFRunLoop (taps, keeper timers and the engine's main queue live there),
// as on Linux; the poster's queue is a serial libdispatch queue, display
// links call from Core Video's threads, and workspace notices arrive on the
// main thread, where the shell runs.
#include <functional>
#include <memory>

#include "platform/Platform.h"

namespace gm::platform::macos {

class MacPlatform final : public Platform {
public:
    // Log lines go to the unified log from here on.
    MacPlatform();
    ~MacPlatform() override;

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

    // Runs `block` on the engine thread (the shell starts and stops the engine this way).
    void runOnEngineThread(std::function<void()> block);
    // The same, waiting until it has run.
    void runOnEngineThreadAndWait(const std::function<void()>& block);
    // Stops the engine thread; idempotent.
    void shutdown();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace gm::platform::macos
