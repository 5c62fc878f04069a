#pragma once
// Reading a settings document for check-settings: a named file, or the one
// this user's Glidemark stores (a file on Linux, the application's user
// defaults on macOS).
#include <string>

namespace gm::ctl {

struct SettingsDocument {
    std::string where;  // for messages
    std::string bytes;
    int error = 0;      // an errno value; ENOENT when nothing is there, EFBIG when far too large
};

SettingsDocument readSettingsFile(const std::string& path);
SettingsDocument readStoredSettings();
// What went wrong with a read, for a message.
std::string describeReadError(int error);

}  // namespace gm::ctl
