#include "app/PlatformChoice.h"

#include "app/StandInPlatform.h"

namespace gm::app {

std::unique_ptr<platform::Platform> makePlatform() { return std::make_unique<StandInPlatform>(); }

std::unique_ptr<EngineControl> makeEngine(platform::Platform& platform) {
    return std::make_unique<StandInEngine>(platform.inputAccess());
}

}  // namespace gm::app
