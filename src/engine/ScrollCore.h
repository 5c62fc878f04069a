#pragma once
// The router at the centre of the engine. While active it owns three taps:
// scroll-wheel events (may change or swallow them), modifier changes and left
// mouse presses (both listen-only). For every wheel event it gathers what the
// decision needs, carries out the outcome, and hands smoothed ticks to the poster.
//
// Threads: start(), end() and the callbacks run on the engine's thread (the
// one whose run loop holds the taps); `isActive` may be read from anywhere.
#include <atomic>
#include <memory>

#include "engine/Interceptor.h"
#include "engine/ScrollDecision.h"
#include "engine/ScrollPhase.h"
#include "engine/ScrollPosterCV.h"
#include "engine/ScrollUtils.h"
#include "platform/Platform.h"
#include "settings/SettingsManager.h"

namespace gm::engine {

class ScrollCore {
public:
    static constexpr std::uint64_t scrollEventMask = 0x400000;    // scroll wheel (22)
    static constexpr std::uint64_t hotkeyEventMask = 0x1000;      // flags changed (12)
    static constexpr std::uint64_t mouseLeftEventMask = 0x2;      // left mouse down (1)
    static constexpr std::uint64_t mouseRightEventMask = 0x8;     // right mouse down (3); no tap uses it

    ScrollCore(platform::Platform& platform, settings::SettingsManager& settings, Utils& utils,
               ScrollUtils& scrollUtils, ScrollPhase& phase, ScrollPosterCV& poster);
    ~ScrollCore();

    // The engine's single instance (see Engine).
    static ScrollCore& shared();

    // Installs the taps if smoothing is switched on. May be called repeatedly.
    void start();
    // Removes smoothing. May be called repeatedly.
    void end();
    bool isActive() const { return isActive_.load(); }

    ModifierState modifierState() const { return modifiers_; }
    platform::AppRef currentApplication() const { return currentApplication_; }
    settings::ExceptionRef exceptionalApplication() const { return exceptionalApplication_; }
    const Interceptor* scrollEventInterceptor() const { return scrollEventInterceptor_.get(); }

    // Diagnostic switch: prints each tick's point delta and lets every event through unsmoothed.
    bool debugSmoothScroll = false;

    static platform::EventRef scrollEventCallBack(platform::TapProxy proxy, platform::EventType type,
                                                  const platform::EventRef& event, void* userInfo);
    static platform::EventRef hotkeyEventCallBack(platform::TapProxy proxy, platform::EventType type,
                                                  const platform::EventRef& event, void* userInfo);
    static platform::EventRef mouseLeftEventCallBack(platform::TapProxy proxy, platform::EventType type,
                                                     const platform::EventRef& event, void* userInfo);

private:
    platform::EventRef onScroll(platform::TapProxy proxy, const platform::EventRef& event);
    void onModifierChange(const platform::Event& event);
    void releaseInterceptors();

    platform::Platform& platform_;
    settings::SettingsManager& settings_;
    Utils& utils_;
    ScrollUtils& scrollUtils_;
    ScrollPhase& phase_;
    ScrollPosterCV& poster_;

    std::atomic<bool> isActive_{false};
    ModifierState modifiers_;
    platform::AppRef currentApplication_;
    settings::ExceptionRef exceptionalApplication_;
    std::shared_ptr<const settings::GlidemarkSettings> matchedSettings_;  // what exceptionalApplication_ was found for
    platform::AppRef matchedApplication_;
    std::shared_ptr<Interceptor> scrollEventInterceptor_;
    std::shared_ptr<Interceptor> hotkeyEventInterceptor_;
    std::shared_ptr<Interceptor> mouseEventInterceptor_;
};

}  // namespace gm::engine
