#include "platform/sim/SimDisplays.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "platform/sim/Scheduler.h"

namespace gm::platform::sim {

namespace {

class SimDisplayLink final : public DisplayLink {
public:
    SimDisplayLink(Scheduler& scheduler, double hz) : scheduler_(scheduler), hz_(hz) {}
    ~SimDisplayLink() override { stop(); }

    void setOutputCallback(DisplayLinkCallback callback, void* userInfo) override {
        callback_ = callback;
        userInfo_ = userInfo;
    }
    void start() override {
        if (running_) return;
        running_ = true;
        // The first tick after s is k = floor(s * hz) + 1, up to the rounding of
        // the product and of k / hz, which the loops settle in a step or so.
        const double s = scheduler_.now();
        double k = std::floor(s * hz_) + 1;
        while (k / hz_ <= s) k += 1;
        while (k > 0 && (k - 1) / hz_ > s) k -= 1;
        next_ = k;
        arm();
    }
    void stop() override {
        if (!running_) return;
        running_ = false;
        scheduler_.cancel(task_);
    }
    bool isRunning() const override { return running_; }

private:
    void arm() {
        task_ = scheduler_.schedule(next_ / hz_, [this] { fire(); });
    }
    void fire() {
        next_ += 1;
        arm();
        if (callback_) callback_(userInfo_);
    }

    Scheduler& scheduler_;
    double hz_;
    double next_ = 0;  // k of the next tick
    Scheduler::TaskId task_ = 0;
    bool running_ = false;
    DisplayLinkCallback callback_ = nullptr;
    void* userInfo_ = nullptr;
};

}  // namespace

std::unique_ptr<DisplayLink> SimDisplays::createDisplayLink(DisplayID display) {
    for (const auto& screen : screens_)
        if (screen.displayID == display) {
            const double hz =
                screen.refreshRate > 0 ? std::clamp(screen.refreshRate, kMinRefreshRate, kMaxRefreshRate) : 60.0;
            return std::make_unique<SimDisplayLink>(scheduler_, hz);
        }
    return nullptr;
}

void SimDisplays::setScreen(const Screen& screen) {
    for (auto& s : screens_)
        if (screen.displayID && s.displayID == screen.displayID) {
            s = screen;
            return;
        }
    screens_.push_back(screen);
}

}  // namespace gm::platform::sim
