#include "platform/linux/desktop/LinuxDesktopPlatform.h"

#include <cstdlib>
#include <sstream>
#include <string>

#include "platform/Log.h"

namespace gm::platform::linux_desktop {

LinuxDesktopPlatform::LinuxDesktopPlatform(DispatchQueue& uiQueue)
    : kind_(detectDesktop([](const char* name) { return std::getenv(name); })),
      resolver_(std::make_shared<AppResolver>(AppResolver::fromEnvironment())) {
    if (kind_ == DesktopKind::X11) connection_ = X11Connection::open();
    if (connection_) {
        workspace_ = std::make_unique<X11Workspace>(*connection_, uiQueue, resolver_);
        modifiers_ = std::make_unique<X11Modifiers>(*connection_);
        modifiers_->setCallback([this](const EventRef& event) { modifierChanged(event); });
        if (modifiers_->available()) log().info("Block keys: modifier keys read through XInput 2");
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
        } else {
            startShellWindows(uiQueue);
            startXwaylandScreens();
        }
        startKeyboardModifiers();
    }
    if (targets_) {
        // GNOME, KDE Plasma and the like do not say where the pointer is: a
        // wheel event there is taken to be on the main screen, whose refresh
        // then paces its frames.
        const bool locatesPointer = kind_ != DesktopKind::OtherWayland;
        setPointerTarget([this, locatesPointer](FieldTableEvent& event) {
            const PointerTarget target = targets_->current();
            // Process 1 means "no application" to the engine.
            event.setIntegerValue(field::targetProcessID, target.pid > 0 ? target.pid : 1);
            event.setLocation(locatesPointer || !screens_ ? target.location : screens_->mainScreenCentre());
        });
    }
}

LinuxDesktopPlatform::~LinuxDesktopPlatform() {
    // Nothing may call into the pieces below once they start going away: the
    // event sources stop first, then the engine. The pieces themselves go in
    // reverse order of declaration, the X connection after its users.
    if (keyboardModifiers_) keyboardModifiers_->stop();
    if (connection_) connection_->stopThread();
    shutdown();
}

}  // namespace gm::platform::linux_desktop

namespace gm::platform::linux_desktop {

bool LinuxDesktopPlatform::knowsApplicationUnderPointer() const {
    return (kind_ == DesktopKind::X11 && connection_) || kind_ == DesktopKind::Sway ||
           kind_ == DesktopKind::Hyprland || (shell_ && shell_->reporting());
}

void LinuxDesktopPlatform::startShellWindows(DispatchQueue& uiQueue) {
    const auto shellKind = detectShell([](const char* name) { return std::getenv(name); });
    // We switch the GNOME extension on once; if the user turns it off in
    // Extensions afterwards, that choice stands.
    constexpr const char* kExtensionWasOn = "gnomeShellExtensionWasOn";
    ShellWindows::Options options;
    options.mayEnableGnomeExtension = !userDefaults().data(kExtensionWasOn);
    shell_ = ShellWindows::start(shellKind, options);
    if (!shell_) return;
    if (shell_->gnomeExtensionOn() && options.mayEnableGnomeExtension) userDefaults().setData(kExtensionWasOn, "true");
    // Wired even while nothing reports: the user may switch the extension on later.
    shellWorkspace_ = std::make_unique<ShellWorkspace>(*shell_, uiQueue, resolver_);
    targets_ = PointerTargets::forShell(*shell_, resolver_);
    setWorkspace(shellWorkspace_.get());
}

void LinuxDesktopPlatform::startXwaylandScreens() {
    // GNOME and KDE Plasma tell other programs nothing of their screens, but
    // their Xwayland shows each one through RandR, refresh rate included (our
    // own windows, drawn through X11, have it running anyway). Without it every
    // screen is taken for a 60 Hz one and frames on a faster screen stutter.
    const char* display = std::getenv("DISPLAY");
    if (display && *display) connection_ = X11Connection::open();
    if (!connection_) {
        log().info("Screens: no Xwayland to read them from; each is taken for a 60 Hz screen");
        return;
    }
    screens_ = std::make_unique<RandrScreens>(*connection_);
    setScreens([this](std::vector<Screen>& out) { screens_->screens(out); });
    connection_->startThread();
    std::vector<Screen> found;
    screens_->screens(found);
    std::ostringstream line;
    line << "Screens: " << found.size() << " read through Xwayland, refreshing at";
    line.precision(5);
    for (const Screen& screen : found) line << (&screen == found.data() ? " " : ", ") << screen.refreshRate;
    line << " Hz";
    log().info(line.str());
}

void LinuxDesktopPlatform::startKeyboardModifiers() {
    // Keyboards are readable only after the user installed the second udev
    // rule; without it, block keys stay unknown rather than asking for more.
    if (!UdevKeyboards::anyReadable()) {
        log().info("Block keys: keyboard access not granted; see README");
        return;
    }
    keyboardModifiers_ = std::make_unique<EvdevModifiers>(std::make_unique<UdevKeyboards>());
    keyboardModifiers_->setCallback([this](const EventRef& event) { modifierChanged(event); });
    const auto count = keyboardModifiers_->start();
    if (count == 0) {
        log().info("Block keys: no keyboard could be read with only its modifier keys");
        keyboardModifiers_.reset();
        return;
    }
    log().info("Block keys: modifier keys read from " + std::to_string(count) + " keyboard(s), filtered by the kernel");
}

}  // namespace gm::platform::linux_desktop
