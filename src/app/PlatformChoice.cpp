#include "app/PlatformChoice.h"

#include <cstdlib>
#include <cstring>

#include "app/StandInPlatform.h"
#include "engine/Engine.h"
#include "platform/linux/LinuxPlatform.h"

namespace gm::app {

namespace {

// The engine runs on the Linux backend's engine thread (its taps, timers and
// main-queue work live there), so the shell's calls are handed over to it.
class LinuxEngineControl final : public EngineControl {
public:
    explicit LinuxEngineControl(platform::linux_input::LinuxPlatform& platform)
        : platform_(platform), engine_(engine::Engine::shared()) {}
    ~LinuxEngineControl() override {
        // The shell ends the engine on the way out; make sure that has happened before the threads stop.
        platform_.engineLoop().runSync([this] { engine_.core.end(); });
        platform_.shutdown();
    }
    void start() override {
        platform_.runOnEngineThread([this] { engine_.core.start(); });
    }
    void end() override {
        platform_.runOnEngineThread([this] { engine_.core.end(); });
    }
    bool isActive() const override { return engine_.core.isActive(); }

private:
    platform::linux_input::LinuxPlatform& platform_;
    engine::Engine& engine_;
};

}  // namespace

// GLIDEMARK_BACKEND=standin runs the shell on stand-ins that touch no device:
// for tests of the program itself, and for looking at the UI on a machine
// without mice or access.
bool standInRequested() {
    const char* backend = std::getenv("GLIDEMARK_BACKEND");
    return backend && std::strcmp(backend, "standin") == 0;
}

std::unique_ptr<platform::Platform> makePlatform() {
    if (standInRequested()) return std::make_unique<StandInPlatform>();
    return std::make_unique<platform::linux_input::LinuxPlatform>();
}

std::unique_ptr<EngineControl> makeEngine(platform::Platform& platform) {
    if (auto* linuxPlatform = dynamic_cast<platform::linux_input::LinuxPlatform*>(&platform))
        return std::make_unique<LinuxEngineControl>(*linuxPlatform);
    return std::make_unique<StandInEngine>(platform.inputAccess());
}

}  // namespace gm::app
