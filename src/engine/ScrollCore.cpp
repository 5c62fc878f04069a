#include "engine/ScrollCore.h"

#include <string>

#include "engine/Engine.h"

namespace gm::engine {

using platform::TapLocation;
using platform::TapOptions;
using platform::TapPlacement;

ScrollCore::ScrollCore(platform::Platform& platform, settings::SettingsManager& settings, Utils& utils,
                       ScrollUtils& scrollUtils, ScrollPhase& phase, ScrollPosterCV& poster)
    : platform_(platform), settings_(settings), utils_(utils), scrollUtils_(scrollUtils), phase_(phase),
      poster_(poster) {
    platform.logger().info("Module initialized: ScrollCore");
}

ScrollCore::~ScrollCore() { releaseInterceptors(); }

ScrollCore& ScrollCore::shared() { return Engine::shared().core; }

void ScrollCore::start() {
    if (!settings_.snapshot()->scrollBase.smooth || isActive_) return;
    isActive_ = true;
    try {
        scrollEventInterceptor_ = Interceptor::create(platform_, scrollEventMask, &scrollEventCallBack, this,
                                                      TapLocation::AnnotatedSession, TapPlacement::HeadInsert,
                                                      TapOptions::Default);
        hotkeyEventInterceptor_ = Interceptor::create(platform_, hotkeyEventMask, &hotkeyEventCallBack, this,
                                                      TapLocation::AnnotatedSession, TapPlacement::TailAppend,
                                                      TapOptions::ListenOnly);
        mouseEventInterceptor_ = Interceptor::create(platform_, mouseLeftEventMask, &mouseLeftEventCallBack, this,
                                                     TapLocation::AnnotatedSession, TapPlacement::TailAppend,
                                                     TapOptions::ListenOnly);
    } catch (const Interceptor::InterceptorError& error) {
        platform_.console().print(std::string("[ScrollCore] Create Interceptor failure: ") + error.what());
        // Leave nothing half-installed and stay inactive, so the next start()
        // (the permission poll, a session becoming active, the menu) tries again.
        releaseInterceptors();
        isActive_ = false;
    }
}

void ScrollCore::end() {
    if (!isActive_) return;
    isActive_ = false;
    poster_.stop(Phase::PauseManual);
    if (scrollEventInterceptor_) scrollEventInterceptor_->stop();
    if (hotkeyEventInterceptor_) hotkeyEventInterceptor_->stop();
    if (mouseEventInterceptor_) mouseEventInterceptor_->stop();
}

void ScrollCore::releaseInterceptors() {
    scrollEventInterceptor_.reset();
    hotkeyEventInterceptor_.reset();
    mouseEventInterceptor_.reset();
}

platform::EventRef ScrollCore::scrollEventCallBack(platform::TapProxy proxy, platform::EventType,
                                                   const platform::EventRef& event, void* userInfo) {
    if (!userInfo || !event) return event;
    return static_cast<ScrollCore*>(userInfo)->onScroll(proxy, event);
}

platform::EventRef ScrollCore::onScroll(platform::TapProxy proxy, const platform::EventRef& event) {
    platform::Event& e = *event;
    if (utils_.isGestureScroll(e)) return event;
    if (debugSmoothScroll)
        platform_.console().print(std::to_string(e.doubleValue(platform::field::scrollPointDeltaAxis1)));

    phase_.kickIn();
    currentApplication_ = scrollUtils_.targetApplication(e);
    const std::shared_ptr<const settings::GlidemarkSettings> settings = settings_.snapshot();
    const std::string* bundleId =
        currentApplication_ && currentApplication_->bundleIdentifier ? &*currentApplication_->bundleIdentifier : nullptr;
    // Which exception applies changes only with the settings or the application, so a
    // run of ticks over one window hashes its identifier and walks the list once.
    if (settings != matchedSettings_ || currentApplication_ != matchedApplication_) {
        exceptionalApplication_ = matchException(*settings, bundleId);
        matchedSettings_ = settings;
        matchedApplication_ = currentApplication_;
    }
    const EffectiveValues values = effectiveValues(*settings, exceptionalApplication_, modifiers_.blockSmooth, [&] {
        return scrollUtils_.isLaunchpadActive(currentApplication_);
    });
    const axisData Y = readAxis(e, kAxisY);
    const axisData X = readAxis(e, kAxisX);
    const Outcome outcome = decide(e, Y, X, values);

    if (debugSmoothScroll) return event;
    if (outcome.schedule)
        poster_.schedule(event, proxy, outcome.y, outcome.x, values.duration, values.accelerationDelta,
                         values.accelerationLimit, values.animationEasing);
    return outcome.returnEvent ? event : nullptr;
}

platform::EventRef ScrollCore::hotkeyEventCallBack(platform::TapProxy, platform::EventType,
                                                   const platform::EventRef& event, void* userInfo) {
    if (userInfo && event) static_cast<ScrollCore*>(userInfo)->onModifierChange(*event);
    return nullptr;
}

void ScrollCore::onModifierChange(const platform::Event& event) {
    const std::int64_t keyCode = event.integerValue(platform::field::keyboardKeycode);
    const bool stopAnimation = modifierChange(keyCode, event.flags(), *settings_.snapshot(), modifiers_);
    if (stopAnimation && poster_.isDisplayLinkRunning()) poster_.stop(Phase::PauseManual);
}

platform::EventRef ScrollCore::mouseLeftEventCallBack(platform::TapProxy, platform::EventType,
                                                      const platform::EventRef&, void* userInfo) {
    if (userInfo) static_cast<ScrollCore*>(userInfo)->poster_.stop(Phase::PauseManual);
    return nullptr;
}

}  // namespace gm::engine
