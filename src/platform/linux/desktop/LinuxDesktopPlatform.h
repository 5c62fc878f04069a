#pragma once
// The Linux backend with the desktop plugged in: on X11 the applications,
// the window under the pointer, modifier keys and the screens come from the X
// server; on sway and Hyprland the applications, the one under the pointer
// and the screens come from the compositor; on GNOME and KDE Plasma the
// applications and the one under the pointer come from Glidemark's Shell
// extension or KWin script, and the screens from Xwayland. On Wayland,
// modifier keys come from the keyboards' event nodes when the user has
// granted read access to them. Without either, the plain backend's stand-ins
// remain.
#include <memory>

#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/desktop/AppResolver.h"
#include "platform/linux/desktop/EvdevModifiers.h"
#include "platform/linux/desktop/PointerTargets.h"
#include "platform/linux/desktop/RandrScreens.h"
#include "platform/linux/desktop/ShellWorkspace.h"
#include "platform/linux/desktop/WaylandWorkspace.h"
#include "platform/linux/desktop/X11Connection.h"
#include "platform/linux/desktop/X11Modifiers.h"
#include "platform/linux/desktop/X11Workspace.h"

namespace gm::platform::linux_desktop {

class LinuxDesktopPlatform final : public linux_input::LinuxPlatform {
public:
    // `uiQueue` runs blocks on the user interface's thread: activation
    // notices go there, because the menu reads the frontmost application there.
    explicit LinuxDesktopPlatform(DispatchQueue& uiQueue);
    ~LinuxDesktopPlatform() override;

    std::shared_ptr<const AppResolver> resolver() const { return resolver_; }
    DesktopKind desktop() const { return kind_; }
    // False where the desktop does not say which application is under the
    // pointer, so per-application exceptions cannot apply.
    bool knowsApplicationUnderPointer() const;

private:
    void startKeyboardModifiers();
    void startShellWindows(DispatchQueue& uiQueue);
    void startXwaylandScreens();

    DesktopKind kind_;
    std::shared_ptr<const AppResolver> resolver_;
    // Declared before everything that registers with it or queries it, so it
    // is destroyed after all of them.
    std::unique_ptr<X11Connection> connection_;
    std::unique_ptr<X11Workspace> workspace_;
    std::unique_ptr<X11Modifiers> modifiers_;
    std::unique_ptr<EvdevModifiers> keyboardModifiers_;
    std::unique_ptr<RandrScreens> screens_;
    std::unique_ptr<PointerTargets> targets_;
    std::unique_ptr<WaylandWorkspace> waylandWorkspace_;
    std::unique_ptr<WaylandScreens> waylandScreens_;
    std::unique_ptr<ShellWindows> shell_;
    std::unique_ptr<ShellWorkspace> shellWorkspace_;
};

}  // namespace gm::platform::linux_desktop
