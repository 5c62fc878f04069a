#include "StoredSettings.h"

#include "platform/linux/FileUserDefaults.h"
#include "settings/SettingsManager.h"

namespace gm::ctl {

SettingsDocument readSettingsFile(const std::string& path) {
    SettingsDocument document{path, {}, 0};
    document.error = platform::FileSystemOps().readFile(path, document.bytes, platform::kMaxStoredBytes);
    return document;
}

std::string describeReadError(int error) { return platform::describeReadError(error); }

SettingsDocument readStoredSettings() {
    return readSettingsFile(
        platform::FileUserDefaults(platform::FileUserDefaults::defaultFolder()).pathFor(settings::SettingsManager::kKey));
}

}  // namespace gm::ctl
