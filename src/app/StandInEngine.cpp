#include "app/StandInEngine.h"

#include "platform/Log.h"

namespace gm::app {

void StandInEngine::start() {
    if (!access_.isTrusted()) {
        platform::log().info("[ScrollCore] Create Interceptor failure: no access to input devices");
        return;
    }
    if (!active_) platform::log().info("Engine started (stand-in: no scrolling is smoothed)");
    active_ = true;
}

void StandInEngine::end() {
    if (active_) platform::log().info("Engine ended");
    active_ = false;
}

}  // namespace gm::app
