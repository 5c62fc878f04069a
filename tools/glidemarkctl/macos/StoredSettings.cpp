#include "StoredSettings.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/Log.h"
#include "platform/macos/MacServices.h"
#include "settings/SettingsManager.h"

namespace gm::ctl {

namespace {

// Far larger than any settings document; the same bound as the Linux store's.
constexpr std::size_t kMaxDocumentBytes = std::size_t{4} << 20;

}  // namespace

SettingsDocument readSettingsFile(const std::string& path) {
    SettingsDocument document{path, {}, 0};
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        document.error = errno != 0 ? errno : ENOENT;
        return document;
    }
    char buffer[16384];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        const auto n = static_cast<std::size_t>(in.gcount());
        if (n > kMaxDocumentBytes - document.bytes.size()) {
            document.bytes.clear();
            document.error = EFBIG;
            return document;
        }
        document.bytes.append(buffer, n);
    }
    if (in.bad()) document.error = EIO;
    return document;
}

SettingsDocument readStoredSettings() {
    // The application's own domain: this tool is not in its bundle.
    const platform::macos::MacUserDefaults defaults{std::string(platform::kDefaultSubsystem)};
    SettingsDocument document{defaults.locationOf(settings::SettingsManager::kKey), {}, 0};
    auto bytes = defaults.data(settings::SettingsManager::kKey);
    if (!bytes) document.error = ENOENT;
    else if (bytes->size() > kMaxDocumentBytes) document.error = EFBIG;
    else document.bytes = std::move(*bytes);
    return document;
}

std::string describeReadError(int error) {
    return error == EFBIG ? "larger than " + std::to_string(kMaxDocumentBytes >> 20) + " MiB" : std::strerror(error);
}

}  // namespace gm::ctl
