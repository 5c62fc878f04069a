#pragma once
// The backend, engine and desktop services the program runs on, chosen in one
// place so that main() stays the same when they change.
#include <QObject>
#include <QString>
#include <memory>

#include "app/EngineControl.h"
#include "app/WindowContent.h"
#include "platform/Platform.h"
#include "settings/SettingsManager.h"

namespace gm::preferences {
class AppInfoProvider;
}  // namespace gm::preferences

namespace gm::app {

class SessionMonitor;

std::unique_ptr<platform::Platform> makePlatform();
std::unique_ptr<EngineControl> makeEngine(platform::Platform& platform);
// The preferences and About windows' content, with the desktop's application names and icons.
WindowContent makeWindowContent(platform::Platform& platform, settings::SettingsManager& settings);
// Follows the login session and tells `monitor`; null when the system has no session manager.
std::unique_ptr<QObject> watchSession(SessionMonitor& monitor);

// Shared by each system's choice above.
// GLIDEMARK_BACKEND=standin runs the shell on stand-ins that touch no input.
bool standInRequested();
// The About window, and the preferences with these application names and icons and, where
// exceptions cannot apply, the notice that says why.
WindowContent windowContent(settings::SettingsManager& settings, platform::Workspace& workspace,
                            std::shared_ptr<const preferences::AppInfoProvider> appInfo, QString exceptionsNotice = {});

}  // namespace gm::app
