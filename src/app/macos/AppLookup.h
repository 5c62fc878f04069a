#pragma once
// Where an application with a bundle identifier is installed and what it is
// called, for the Exceptions tab's rows.
#include <optional>
#include <string>

namespace gm::app::macos {

struct InstalledApplication {
    std::string path;
    // CFBundleDisplayName, else CFBundleName, else the file name without ".app".
    std::string name;
};

std::optional<InstalledApplication> installedApplication(const std::string& bundleIdentifier);

}  // namespace gm::app::macos
