#pragma once
// The system's login-item registration. On macOS 13 and later that is the
// main application's service (SMAppService); earlier systems get a
// LaunchAgent in ~/Library/LaunchAgents, which this program writes itself.
#include <optional>
#include <string>

namespace gm::app::macos {

// Whether the login-item service is there (macOS 13 and later).
bool loginItemServiceAvailable();
// The service's status: 0 not registered, 1 enabled, 2 requires approval, 3 not found.
int loginItemStatus();
// None on success, else the system's description of the failure.
std::optional<std::string> registerLoginItem();
std::optional<std::string> unregisterLoginItem();

// Whether the LaunchAgent at `path` starts something for `label` and is not disabled.
bool launchAgentEnabled(const std::string& path, const std::string& label);

std::string homeFolder();
// The bundle's identifier, or the program's default one.
std::string bundleIdentifier();
// The executable inside the running bundle.
std::string executablePath();

}  // namespace gm::app::macos
