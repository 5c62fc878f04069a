#pragma once
// The engine's long-lived managers for one platform. A real program has one
// (`shared`, over the selected backend and the shared settings manager);
// tests and the replay tool build their own over a simulated desktop.
#include <memory>
#include <mutex>

#include "engine/ScrollCore.h"
#include "engine/ScrollEventModel.h"
#include "engine/ScrollPhase.h"
#include "engine/ScrollPosterCV.h"
#include "engine/ScrollUtils.h"

namespace gm::engine {

class Engine {
public:
    Engine(platform::Platform& platform, settings::SettingsManager& settings);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Created on first use over platform::current() and SettingsManager::shared(); never destroyed.
    static Engine& shared();

    // The frontmost-application tracker comes into being on first use, as the menu first asks.
    ActiveApp& activeApp();

    platform::Platform& platform;
    Utils utils;
    ScrollUtils scrollUtils;
    ScrollPhase scrollPhase;
    ScrollPosterCV poster;
    ScrollCore core;

private:
    std::once_flag activeAppOnce_;
    std::unique_ptr<ActiveApp> activeApp_;
};

}  // namespace gm::engine
