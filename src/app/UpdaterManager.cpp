#include "app/UpdaterManager.h"

#include "platform/Log.h"

namespace gm::app {

namespace {
UpdaterManager* liveInstance = nullptr;
}

void UpdaterController::checkForUpdates() {
    platform::log().info("Update check requested");
    emit checkRequested();
}

UpdaterManager::UpdaterManager(QObject* parent) : QObject(parent) {
    liveInstance = this;
    platform::log().info("Module initialized: UpdaterManager");
}

UpdaterManager::~UpdaterManager() {
    if (liveInstance == this) liveInstance = nullptr;
}

UpdaterManager* UpdaterManager::shared() { return liveInstance; }

}  // namespace gm::app
