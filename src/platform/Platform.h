#pragma once
// One table of services per backend, chosen once at start-up. Everything the
// engine needs of the system is reached through it.
#include <memory>
#include <string>

#include "platform/Log.h"
#include "platform/Services.h"
#include "platform/UserDefaults.h"

namespace gm::platform {

class Platform {
public:
    virtual ~Platform() = default;
    virtual Clock& clock() = 0;
    virtual Workspace& workspace() = 0;
    virtual EventTaps& eventTaps() = 0;
    // The run loop of the calling thread (the engine's thread).
    virtual RunLoop& currentRunLoop() = 0;
    virtual DispatchQueue& mainQueue() = 0;
    virtual std::unique_ptr<DispatchQueue> createSerialQueue(const std::string& label) = 0;
    virtual Displays& displays() = 0;
    virtual InputAccess& inputAccess() = 0;
    virtual Console& console() = 0;
    virtual UserDefaults& userDefaults() = 0;
    virtual Logger& logger() = 0;
};

// The backend chosen at start-up. Selecting twice replaces the first choice;
// it must happen before any `shared` instance is first used.
void select(Platform& platform);
// The selected backend; aborts with a message when none was selected.
Platform& current();

}  // namespace gm::platform
