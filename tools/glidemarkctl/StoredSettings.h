#pragma once
// Reading a settings document for check-settings: a named file, or the one
// this user's Glidemark stores (a file on Linux, the application's user
// defaults on macOS).
#include <string>

namespace gm::ctl {

struct SettingsDocument {
    std::string where;  // for messages
    std::string bytes;
    int error = 0;      // an errno value; ENOENT when nothing is there
};

SettingsDocument readSettingsFile(const std::string& path);
SettingsDocument readStoredSettings();

}  // namespace gm::ctl
