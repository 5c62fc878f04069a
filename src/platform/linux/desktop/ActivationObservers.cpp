#include "platform/linux/desktop/ActivationObservers.h"

#include <vector>

namespace gm::platform::linux_desktop {
namespace {
class ObserverSubscription final : public Subscription {
public:
    explicit ObserverSubscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    ~ObserverSubscription() override { cancel_(); }

private:
    std::function<void()> cancel_;
};
}  // namespace

std::unique_ptr<Subscription> ActivationObservers::subscribe(const std::shared_ptr<ActivationObservers>& self,
                                                             std::function<void()> block) {
    std::uint64_t id = 0;
    {
        std::lock_guard lock(self->mutex_);
        id = self->next_++;
        self->blocks_.emplace(id, std::move(block));
    }
    return std::make_unique<ObserverSubscription>([weak = std::weak_ptr<ActivationObservers>(self), id] {
        if (const auto o = weak.lock()) {
            std::lock_guard lock(o->mutex_);
            o->blocks_.erase(id);
        }
    });
}

void ActivationObservers::post(const std::shared_ptr<ActivationObservers>& self, DispatchQueue& queue) {
    std::vector<std::uint64_t> ids;
    {
        std::lock_guard lock(self->mutex_);
        for (const auto& entry : self->blocks_) ids.push_back(entry.first);
    }
    for (const auto id : ids) {
        queue.async([weak = std::weak_ptr<ActivationObservers>(self), id] {
            const auto observers = weak.lock();
            if (!observers) return;
            std::function<void()> block;
            {
                std::lock_guard lock(observers->mutex_);
                const auto it = observers->blocks_.find(id);
                if (it == observers->blocks_.end()) return;
                block = it->second;
            }
            block();
        });
    }
}

}  // namespace gm::platform::linux_desktop
