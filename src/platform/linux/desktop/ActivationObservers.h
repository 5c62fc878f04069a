#pragma once
// The blocks to run after the frontmost application changed, shared by the
// X11 and the Wayland workspaces. A block queued on the main queue checks,
// when it runs, that its subscription still exists, so cancelling a
// subscription stops even the notifications already on their way.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/Services.h"

namespace gm::platform::linux_desktop {

class ActivationObservers {
public:
    // The subscription removes the block when destroyed; it may outlive the observers.
    static std::unique_ptr<Subscription> subscribe(const std::shared_ptr<ActivationObservers>& self,
                                                   std::function<void()> block);
    // Queues every block on `queue`, once.
    static void post(const std::shared_ptr<ActivationObservers>& self, DispatchQueue& queue);

private:
    std::mutex mutex_;
    std::map<std::uint64_t, std::function<void()>> blocks_;
    std::uint64_t next_ = 1;
};

}  // namespace gm::platform::linux_desktop
