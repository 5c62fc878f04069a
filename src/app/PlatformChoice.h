#pragma once
// The backend, engine and desktop services the program runs on, chosen in one
// place so that main() stays the same when they change.
#include <QObject>
#include <memory>

#include "app/EngineControl.h"
#include "app/WindowContent.h"
#include "platform/Platform.h"
#include "settings/SettingsManager.h"

namespace gm::app {

class SessionMonitor;

std::unique_ptr<platform::Platform> makePlatform();
std::unique_ptr<EngineControl> makeEngine(platform::Platform& platform);
// The preferences and About windows' content, with the desktop's application names and icons.
WindowContent makeWindowContent(platform::Platform& platform, settings::SettingsManager& settings);
// Follows the login session and tells `monitor`; null when the system has no session manager.
std::unique_ptr<QObject> watchSession(SessionMonitor& monitor);

}  // namespace gm::app
