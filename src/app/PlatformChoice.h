#pragma once
// The backend and engine the program runs on, chosen in one place so that
// main() stays the same when they change.
#include <memory>

#include "app/EngineControl.h"
#include "platform/Platform.h"

namespace gm::app {

std::unique_ptr<platform::Platform> makePlatform();
std::unique_ptr<EngineControl> makeEngine(platform::Platform& platform);

}  // namespace gm::app
