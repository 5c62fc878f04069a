#include "platform/linux/DrmRefresh.h"

#include <fcntl.h>
#include <unistd.h>
#include <xf86drm.h>

#include <memory>
#include <string>

namespace gm::platform::linux_input {

namespace {
std::optional<std::int64_t> lastVerticalBlank(int fd) {
    drmVBlank query{};
    query.request.type = DRM_VBLANK_RELATIVE;  // zero blanks from now: answers at once
    query.request.sequence = 0;
    if (drmWaitVBlank(fd, &query) != 0) return std::nullopt;
    return static_cast<std::int64_t>(query.reply.tval_sec) * 1'000'000'000 +
           static_cast<std::int64_t>(query.reply.tval_usec) * 1'000;
}
}  // namespace

std::function<std::optional<std::int64_t>(DisplayID)> drmRefreshPhase() {
    for (int card = 0; card < 8; ++card) {
        const std::string node = "/dev/dri/card" + std::to_string(card);
        const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) continue;
        if (!lastVerticalBlank(fd)) {
            ::close(fd);
            continue;
        }
        auto shared = std::shared_ptr<int>(new int(fd), [](int* f) {
            ::close(*f);
            delete f;
        });
        return [shared](DisplayID) { return lastVerticalBlank(*shared); };
    }
    return nullptr;
}

}  // namespace gm::platform::linux_input
