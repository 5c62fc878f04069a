#pragma once
// One question for the input side, whatever the desktop: which application
// is under the pointer now, and where the pointer is. Asked for every wheel
// event, so each answer is cheap once the window is known.
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/linux/desktop/AppResolver.h"
#include "platform/linux/desktop/ShellWindows.h"
#include "platform/linux/desktop/WaylandCompositors.h"
#include "platform/linux/desktop/X11Workspace.h"

namespace gm::platform::linux_desktop {

class PointerTargets {
public:
    virtual ~PointerTargets() = default;
    // pid 0 and no application when nothing is known to be under the pointer.
    virtual PointerTarget current() = 0;

    // The X11 answer (the workspace outlives the returned object).
    static std::unique_ptr<PointerTargets> forX11(const X11Workspace& workspace);
    // The sway or Hyprland answer; any other kind gives no application,
    // which is logged once when first asked.
    static std::unique_ptr<PointerTargets> forWayland(DesktopKind kind, std::shared_ptr<const AppResolver> resolver);
    // The last report of the GNOME Shell extension or KWin script (the
    // reports outlive the returned object); it never waits for the desktop.
    static std::unique_ptr<PointerTargets> forShell(const ShellWindows& shell,
                                                    std::shared_ptr<const AppResolver> resolver);
};

// Turns compositor windows into applications, keeping one object per
// (pid, app id) so that repeated answers compare equal and /proc is read once.
class CompositorApplications {
public:
    explicit CompositorApplications(std::shared_ptr<const AppResolver> resolver) : resolver_(std::move(resolver)) {}
    AppRef application(const CompositorWindow& window);

private:
    std::shared_ptr<const AppResolver> resolver_;
    std::mutex mutex_;
    std::map<std::pair<ProcessID, std::string>, AppRef> known_;
};

}  // namespace gm::platform::linux_desktop
