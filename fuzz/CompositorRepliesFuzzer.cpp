// Replies of the sway and Hyprland IPC sockets, reports of our GNOME Shell
// extension and KWin script, and KWin's configuration: any bytes leave the
// desktop code with windows and screens it can use, or with none.
#include <cmath>

#include "FuzzCheck.h"
#include "platform/linux/desktop/ShellReports.h"
#include "platform/linux/desktop/WaylandCompositors.h"

using gm::fuzz::expect;
using namespace gm::platform;
using namespace gm::platform::linux_desktop;

namespace {

bool finite(const Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
}

void checkScreens(const std::vector<Screen>& screens) {
    for (const auto& s : screens) {
        expect(finite(s.frame) && s.frame.width > 0 && s.frame.height > 0, "a screen has a finite, non-empty frame");
        expect(s.refreshRate >= 1 && s.refreshRate <= 1000, "a screen refreshes at a rate a display clock can keep");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto reply = gm::fuzz::textOf(data, size);

    sway::decodeHeader(reply);
    sway::focusedWindow(reply);
    sway::windows(reply);
    checkScreens(sway::outputs(reply));

    const auto cursor = hyprland::cursorPosition(reply);
    hyprland::activeWindow(reply);
    const auto clients = hyprland::clients(reply);
    checkScreens(hyprland::monitors(reply));
    const auto visible = hyprland::visibleWorkspaces(reply);
    hyprland::windowAt(clients, visible, cursor.value_or(Point{}));
    for (const auto& w : clients) hyprland::windowAt(clients, visible, Point{w.frame.x, w.frame.y});

    if (const auto w = shell::parseWindow(reply)) expect(w->pid > 0, "a reported window names its process");
    for (const auto& w : shell::parseWindows(reply)) expect(w.pid > 0, "a listed window names its process");
    shell::kwinScriptSwitchedOff(reply);
    return 0;
}
