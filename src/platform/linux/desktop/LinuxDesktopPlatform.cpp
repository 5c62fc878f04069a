#include "platform/linux/desktop/LinuxDesktopPlatform.h"

#include <cstdlib>

namespace gm::platform::linux_desktop {

LinuxDesktopPlatform::LinuxDesktopPlatform(DispatchQueue& uiQueue)
    : kind_(detectDesktop([](const char* name) { return std::getenv(name); })),
      resolver_(std::make_shared<AppResolver>(AppResolver::fromEnvironment())) {
    if (kind_ == DesktopKind::X11) connection_ = X11Connection::open();
    if (connection_) {
        workspace_ = std::make_unique<X11Workspace>(*connection_, uiQueue, resolver_);
        modifiers_ = std::make_unique<X11Modifiers>(*connection_);
        modifiers_->setCallback([this](const EventRef& event) { modifierChanged(event); });
        screens_ = std::make_unique<RandrScreens>(*connection_);
        targets_ = PointerTargets::forX11(*workspace_);
        setWorkspace(workspace_.get());
        setScreens([this](std::vector<Screen>& out) { screens_->screens(out); });
        connection_->startThread();
    } else if (kind_ == DesktopKind::Sway || kind_ == DesktopKind::Hyprland || kind_ == DesktopKind::OtherWayland) {
        targets_ = PointerTargets::forWayland(kind_, resolver_);
        if (kind_ != DesktopKind::OtherWayland) {
            waylandWorkspace_ = std::make_unique<WaylandWorkspace>(kind_, uiQueue, resolver_);
            waylandScreens_ = std::make_unique<WaylandScreens>(kind_);
            setWorkspace(waylandWorkspace_.get());
            setScreens([this](std::vector<Screen>& out) { waylandScreens_->screens(out); });
        }
    }
    if (targets_) {
        setPointerTarget([this](FieldTableEvent& event) {
            const PointerTarget target = targets_->current();
            // Process 1 means "no application" to the engine.
            event.setIntegerValue(field::targetProcessID, target.pid > 0 ? target.pid : 1);
            event.setLocation(target.location);
        });
    }
}

LinuxDesktopPlatform::~LinuxDesktopPlatform() {
    // Nothing may call into the pieces below once they start going away.
    shutdown();
    connection_.reset();
}

}  // namespace gm::platform::linux_desktop
