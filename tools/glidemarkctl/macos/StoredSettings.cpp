#include "StoredSettings.h"

#include <cerrno>
#include <fstream>
#include <iterator>

#include "platform/Log.h"
#include "platform/macos/MacServices.h"
#include "settings/SettingsManager.h"

namespace gm::ctl {

SettingsDocument readSettingsFile(const std::string& path) {
    SettingsDocument document{path, {}, 0};
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        document.error = errno != 0 ? errno : ENOENT;
        return document;
    }
    document.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) document.error = EIO;
    return document;
}

SettingsDocument readStoredSettings() {
    // The application's own domain: this tool is not in its bundle.
    const platform::macos::MacUserDefaults defaults{std::string(platform::kDefaultSubsystem)};
    SettingsDocument document{defaults.locationOf(settings::SettingsManager::kKey), {}, 0};
    if (auto bytes = defaults.data(settings::SettingsManager::kKey)) document.bytes = std::move(*bytes);
    else document.error = ENOENT;
    return document;
}

}  // namespace gm::ctl
