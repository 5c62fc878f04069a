#pragma once
// The running and frontmost applications on GNOME and KDE Plasma (Wayland),
// from the reports of Glidemark's Shell extension or KWin script. Nothing is
// asked of the desktop here: the reports arrive by themselves, and a report
// of a new focused window is what announces an activation.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Services.h"
#include "platform/linux/desktop/ActivationObservers.h"
#include "platform/linux/desktop/PointerTargets.h"
#include "platform/linux/desktop/ShellWindows.h"

namespace gm::platform::linux_desktop {

class ShellWorkspace final : public Workspace {
public:
    // `shell` outlives the workspace; activation blocks are queued on `mainQueue`.
    ShellWorkspace(ShellWindows& shell, DispatchQueue& mainQueue, std::shared_ptr<const AppResolver> resolver,
                   std::optional<std::string> mainBundleIdentifier = std::string("glidemark"));
    ~ShellWorkspace() override;
    ShellWorkspace(const ShellWorkspace&) = delete;
    ShellWorkspace& operator=(const ShellWorkspace&) = delete;

    AppRef applicationWithProcessIdentifier(ProcessID pid) const override;
    std::vector<AppRef> runningApplications() const override;
    AppRef frontmostApplication() const override;
    std::unique_ptr<Subscription> observeActivations(std::function<void()> block) override;
    // The desktops do not say which windows are on screen.
    bool onScreenWindows(std::vector<WindowInfo>& out) const override {
        out.clear();
        return false;
    }
    std::optional<std::string> mainBundleIdentifier() const override { return mainBundleIdentifier_; }

private:
    void focusReported();

    ShellWindows& shell_;
    DispatchQueue& mainQueue_;
    std::optional<std::string> mainBundleIdentifier_;
    mutable CompositorApplications apps_;
    std::shared_ptr<ActivationObservers> observers_ = std::make_shared<ActivationObservers>();
    mutable std::mutex frontMutex_;
    AppRef frontmost_;
};

}  // namespace gm::platform::linux_desktop
