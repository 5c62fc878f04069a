#include "engine/Interceptor.h"

namespace gm::engine {

std::shared_ptr<Interceptor> Interceptor::create(platform::Platform& platform, std::uint64_t mask,
                                                 platform::TapCallback callback, void* userInfo,
                                                 platform::TapLocation location, platform::TapPlacement placement,
                                                 platform::TapOptions options) {
    std::shared_ptr<Interceptor> interceptor(new Interceptor(platform));
    interceptor->eventTapRef_ = platform.eventTaps().createTap({location, placement, options, mask, callback, userInfo});
    if (!interceptor->eventTapRef_) throw InterceptorError(InterceptorError::Code::eventTapCreationFailed);
    interceptor->runLoopSourceRef_ = interceptor->eventTapRef_->createRunLoopSource();
    interceptor->start();  // a failure discards the half-built interceptor
    return interceptor;
}

Interceptor::~Interceptor() {
    stop();
    if (eventTapRef_) {
        eventTapRef_->enable(false);
        eventTapRef_.reset();
    }
    if (runLoopSourceRef_) {
        platform::RunLoop& runLoop = platform_.currentRunLoop();
        if (runLoop.containsSource(*runLoopSourceRef_)) runLoop.removeSource(*runLoopSourceRef_);
        runLoopSourceRef_.reset();
    }
}

void Interceptor::start() {
    if (!eventTapRef_ || !runLoopSourceRef_) throw InterceptorError(InterceptorError::Code::eventTapEnableFailed);
    platform::RunLoop& runLoop = platform_.currentRunLoop();
    if (!runLoop.containsSource(*runLoopSourceRef_)) runLoop.addSource(runLoopSourceRef_);
    eventTapRef_->enable(true);
    if (keeper_) keeper_->invalidate();
    std::weak_ptr<Interceptor> weak = weak_from_this();
    keeper_ = runLoop.scheduleTimer(kKeeperInterval, true, [weak] {
        if (auto self = weak.lock()) self->check();
    });
}

void Interceptor::stop() {
    if (keeper_) {
        keeper_->invalidate();
        keeper_.reset();
    }
    if (eventTapRef_ && runLoopSourceRef_) {
        eventTapRef_->enable(false);
        platform::RunLoop& runLoop = platform_.currentRunLoop();
        if (runLoop.containsSource(*runLoopSourceRef_)) runLoop.removeSource(*runLoopSourceRef_);
    }
}

void Interceptor::check() {
    if (eventTapRef_ && eventTapRef_->isEnabled()) return;
    stop();
    std::weak_ptr<Interceptor> weak = weak_from_this();
    keeper_ = platform_.currentRunLoop().scheduleTimer(kRestartDelay, false, [weak] {
        auto self = weak.lock();
        if (!self) return;
        try {
            self->start();
        } catch (const InterceptorError&) {
            // Cannot happen while the tap and source live, which they do as long as the interceptor.
        }
    });
}

}  // namespace gm::engine
