#include "platform/Platform.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace gm::platform {

namespace {
std::atomic<Platform*> selected{nullptr};
}

void select(Platform& platform) { selected.store(&platform, std::memory_order_release); }

Platform& current() {
    Platform* p = selected.load(std::memory_order_acquire);
    if (!p) {
        std::fputs("glidemark: no platform backend selected\n", stderr);
        std::abort();
    }
    return *p;
}

}  // namespace gm::platform
