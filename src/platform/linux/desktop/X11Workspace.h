#pragma once
// The running applications, the frontmost one and the one under the pointer,
// on an X11 desktop (including XWayland clients seen through their server).
#include <xcb/xcb.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Services.h"
#include "platform/linux/desktop/ActivationObservers.h"
#include "platform/linux/desktop/AppResolver.h"
#include "platform/linux/desktop/X11Connection.h"

namespace gm::platform::linux_desktop {

struct PointerTarget {
    Point location;            // global, top-left origin
    ProcessID pid = 0;         // 0 when no application is under the pointer
    AppRef app;                // null likewise
    xcb_window_t topLevel = 0; // the child of the root under the pointer
};

class X11Workspace final : public Workspace {
public:
    struct Options {
        // Our own desktop-entry id, so that our own windows can be told apart.
        std::optional<std::string> mainBundleIdentifier = std::string("glidemark");
        // Above this many windows the cache is dropped and refilled on demand.
        std::size_t cacheLimit = 4096;
        // Off: process ids come from _NET_WM_PID only.
        bool useXRes = true;
        // How long "no application here" is believed for a window: a window
        // manager may give a frame its client just after we looked.
        std::chrono::milliseconds negativeLifetime{500};
    };

    // Observes the root window for activations and closing windows. The
    // activation blocks are queued on `mainQueue` from whichever thread reads
    // the connection's events.
    X11Workspace(X11Connection& connection, DispatchQueue& mainQueue, std::shared_ptr<const AppResolver> resolver,
                 Options options);
    X11Workspace(X11Connection& connection, DispatchQueue& mainQueue, std::shared_ptr<const AppResolver> resolver)
        : X11Workspace(connection, mainQueue, std::move(resolver), Options()) {}
    ~X11Workspace() override;

    AppRef applicationWithProcessIdentifier(ProcessID pid) const override;
    std::vector<AppRef> runningApplications() const override;
    AppRef frontmostApplication() const override;
    std::unique_ptr<Subscription> observeActivations(std::function<void()> block) override;
    bool onScreenWindows(std::vector<WindowInfo>& out) const override;
    std::optional<std::string> mainBundleIdentifier() const override { return options_.mainBundleIdentifier; }

    // The application under the pointer and where the pointer is. Costs one
    // round trip to the server; windows seen before are answered from the cache.
    PointerTarget pointerTarget() const;
    // The cached application of a top-level window, without asking the server.
    AppRef cachedApplication(xcb_window_t window) const;
    // The application owning `window` (top-level or client), resolved and cached.
    AppRef applicationOfWindow(xcb_window_t window) const;

    const AppResolver& resolver() const { return *resolver_; }

private:
    struct CacheEntry {
        xcb_window_t client = 0;
        AppRef app;
        std::chrono::steady_clock::time_point expires{};  // only for entries without an application
    };
    const CacheEntry* cached(xcb_window_t window) const;  // with mutex_ held

    void handleEvent(const xcb_generic_event_t& event);
    void refreshFrontmost();
    std::vector<xcb_window_t> clientWindows() const;
    std::optional<xcb_window_t> findClient(xcb_window_t topLevel) const;
    WindowFacts fetchFacts(xcb_window_t window) const;
    AppRef resolve(xcb_window_t window) const;
    void evict(xcb_window_t window);

    X11Connection& connection_;
    DispatchQueue& mainQueue_;
    std::shared_ptr<const AppResolver> resolver_;
    Options options_;
    bool hasXRes_ = false;
    X11Connection::HandlerId handlerId_ = 0;

    mutable std::mutex mutex_;
    mutable std::unordered_map<xcb_window_t, CacheEntry> cache_;
    mutable std::unordered_map<ProcessID, AppRef> byPid_;
    AppRef frontmost_;
    std::shared_ptr<ActivationObservers> observers_;
};

}  // namespace gm::platform::linux_desktop
