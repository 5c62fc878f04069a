#include "platform/macos/MacDisplays.h"

#include <CoreGraphics/CoreGraphics.h>
#include <CoreVideo/CoreVideo.h>

#include <atomic>

#include "platform/macos/MacValues.h"

namespace gm::platform::macos {

namespace {

class MacDisplayLink final : public DisplayLink {
public:
    // Takes over the reference of the Create call.
    explicit MacDisplayLink(CVDisplayLinkRef link) : link_(link) {
        CVDisplayLinkSetOutputCallback(link_, &MacDisplayLink::output, this);
    }
    ~MacDisplayLink() override {
        // Returns once the link's thread has left the callback for good.
        CVDisplayLinkStop(link_);
        CVDisplayLinkRelease(link_);
    }
    MacDisplayLink(const MacDisplayLink&) = delete;
    MacDisplayLink& operator=(const MacDisplayLink&) = delete;

    void setOutputCallback(DisplayLinkCallback callback, void* userInfo) override {
        std::lock_guard lock(mutex_);
        callback_ = callback;
        userInfo_ = userInfo;
    }
    void start() override { CVDisplayLinkStart(link_); }
    void stop() override { CVDisplayLinkStop(link_); }
    bool isRunning() const override { return CVDisplayLinkIsRunning(link_); }

private:
    static CVReturn output(CVDisplayLinkRef, const CVTimeStamp*, const CVTimeStamp*, CVOptionFlags, CVOptionFlags*,
                           void* info) {
        auto* self = static_cast<MacDisplayLink*>(info);
        DisplayLinkCallback callback = nullptr;
        void* userInfo = nullptr;
        {
            std::lock_guard lock(self->mutex_);
            callback = self->callback_;
            userInfo = self->userInfo_;
        }
        @autoreleasepool {
            if (callback) callback(userInfo);
        }
        return kCVReturnSuccess;
    }

    CVDisplayLinkRef link_;
    std::mutex mutex_;
    DisplayLinkCallback callback_ = nullptr;
    void* userInfo_ = nullptr;
};

}  // namespace

double MacDisplays::refreshRateOf(DisplayID display) const {
    double modeRate = 0;
    if (CGDisplayModeRef mode = CGDisplayCopyDisplayMode(display)) {
        modeRate = CGDisplayModeGetRefreshRate(mode);
        CGDisplayModeRelease(mode);
    }
    std::int64_t periodValue = 0;
    std::int32_t periodScale = 0;
    bool indefinite = true;
    if (!(modeRate > 0)) {
        CVDisplayLinkRef link = nullptr;
        if (CVDisplayLinkCreateWithCGDisplay(display, &link) == kCVReturnSuccess && link) {
            const CVTime period = CVDisplayLinkGetNominalOutputVideoRefreshPeriod(link);
            periodValue = period.timeValue;
            periodScale = period.timeScale;
            indefinite = (period.flags & kCVTimeIsIndefinite) != 0;
            CVDisplayLinkRelease(link);
        }
    }
    return refreshRate(modeRate, periodValue, periodScale, indefinite);
}

void MacDisplays::screens(std::vector<Screen>& out) const {
    out.clear();
    std::lock_guard lock(mutex_);
    std::uint32_t count = 0;
    if (CGGetActiveDisplayList(0, nullptr, &count) != kCGErrorSuccess) return;
    ids_.resize(count);
    if (count > 0 && CGGetActiveDisplayList(count, ids_.data(), &count) != kCGErrorSuccess) return;
    ids_.resize(count);
    if (ids_ != known_) {
        known_ = ids_;
        rates_.clear();
    }
    for (const CGDirectDisplayID id : ids_) {
        const CGRect bounds = CGDisplayBounds(id);
        auto rate = rates_.find(id);
        if (rate == rates_.end()) rate = rates_.emplace(id, refreshRateOf(id)).first;
        out.push_back({{bounds.origin.x, bounds.origin.y, bounds.size.width, bounds.size.height}, id, rate->second});
    }
}

std::unique_ptr<DisplayLink> MacDisplays::createDisplayLink(DisplayID display) {
    CVDisplayLinkRef link = nullptr;
    if (CVDisplayLinkCreateWithCGDisplay(display, &link) != kCVReturnSuccess || !link) return nullptr;
    return std::make_unique<MacDisplayLink>(link);
}

}  // namespace gm::platform::macos
