#include "engine/Engine.h"

namespace gm::engine {

Engine::Engine(platform::Platform& p, settings::SettingsManager& settings)
    : platform(p),
      utils(p.workspace(), p.clock()),
      scrollUtils(p.workspace(), p.clock(), p.logger()),
      scrollPhase(p.mainQueue(), p.clock(), p.logger()),
      poster(p, settings, scrollPhase, scrollUtils),
      core(p, settings, utils, scrollUtils, scrollPhase, poster) {}

Engine::~Engine() = default;

Engine& Engine::shared() {
    static Engine* engine = new Engine(platform::current(), settings::SettingsManager::shared());
    return *engine;
}

ActiveApp& Engine::activeApp() {
    std::call_once(activeAppOnce_, [this] { activeApp_ = std::make_unique<ActiveApp>(platform.workspace()); });
    return *activeApp_;
}

}  // namespace gm::engine
