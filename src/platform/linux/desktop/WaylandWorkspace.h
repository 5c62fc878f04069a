#pragma once
// The running and frontmost applications, and the screens, on sway and
// Hyprland, from their IPC sockets. Wayland keeps other clients' windows from
// us; these compositors tell over their own sockets instead.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Services.h"
#include "platform/linux/desktop/ActivationObservers.h"
#include "platform/linux/desktop/PointerTargets.h"
#include "platform/linux/desktop/WaylandCompositors.h"

namespace gm::platform::linux_desktop {

// The compositor's socket for `kind` as this session names it ($SWAYSOCK, or
// Hyprland's instance directory); empty for other desktops.
std::string compositorSocketPath(DesktopKind kind);

class WaylandWorkspace final : public Workspace {
public:
    struct Options {
        std::string socketPath;  // empty: compositorSocketPath(kind)
        std::optional<std::string> mainBundleIdentifier = std::string("glidemark");
        // The window list is asked for on behalf of wheel events' targets, so
        // one answer serves every question for this long.
        std::chrono::milliseconds listLifetime{250};
        // How often the focused window is asked for while someone observes activations.
        std::chrono::milliseconds pollInterval{250};
    };

    // `kind` is Sway or Hyprland; any other kind knows no applications.
    WaylandWorkspace(DesktopKind kind, DispatchQueue& mainQueue, std::shared_ptr<const AppResolver> resolver,
                     Options options);
    WaylandWorkspace(DesktopKind kind, DispatchQueue& mainQueue, std::shared_ptr<const AppResolver> resolver)
        : WaylandWorkspace(kind, mainQueue, std::move(resolver), Options()) {}
    // Stops and joins the poll thread.
    ~WaylandWorkspace() override;
    WaylandWorkspace(const WaylandWorkspace&) = delete;
    WaylandWorkspace& operator=(const WaylandWorkspace&) = delete;

    AppRef applicationWithProcessIdentifier(ProcessID pid) const override;
    std::vector<AppRef> runningApplications() const override;
    AppRef frontmostApplication() const override;
    // The first subscription starts the poll thread.
    std::unique_ptr<Subscription> observeActivations(std::function<void()> block) override;
    // The compositors do not say which windows are on screen.
    bool onScreenWindows(std::vector<WindowInfo>& out) const override {
        out.clear();
        return false;
    }
    std::optional<std::string> mainBundleIdentifier() const override { return options_.mainBundleIdentifier; }

private:
    std::vector<CompositorWindow> windows() const;
    // False when the compositor could not be asked; `out` is empty when nothing is focused.
    bool focusedWindow(std::optional<CompositorWindow>& out) const;
    // Asks for the focused window; queues the observers when its application changed.
    void refreshFrontmost() const;
    void poll();

    DesktopKind kind_;
    DispatchQueue& mainQueue_;
    Options options_;
    mutable CompositorApplications apps_;
    std::shared_ptr<ActivationObservers> observers_;

    // Held across the request, so that simultaneous askers share one answer.
    mutable std::mutex listMutex_;
    mutable std::vector<CompositorWindow> windows_;
    mutable std::chrono::steady_clock::time_point listFetched_{};
    mutable bool haveList_ = false;

    mutable std::mutex frontMutex_;
    mutable AppRef frontmost_;
    mutable std::chrono::steady_clock::time_point frontFetched_{};
    mutable bool haveFront_ = false;

    std::mutex threadMutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread poller_;
};

// The screens of a sway or Hyprland desktop, for Displays::screens. The
// layout changes rarely, so an answer is reused for `lifetime`.
class WaylandScreens {
public:
    explicit WaylandScreens(DesktopKind kind, std::string socketPath = {},
                            std::chrono::milliseconds lifetime = std::chrono::seconds(1));
    // Fills `out`, reusing its storage; empty when the compositor does not answer.
    void screens(std::vector<Screen>& out) const;

private:
    DesktopKind kind_;
    std::string socketPath_;
    std::chrono::milliseconds lifetime_;
    mutable std::mutex mutex_;
    mutable std::vector<Screen> screens_;
    mutable std::chrono::steady_clock::time_point fetched_{};
    mutable bool haveAnswer_ = false;
};

}  // namespace gm::platform::linux_desktop
