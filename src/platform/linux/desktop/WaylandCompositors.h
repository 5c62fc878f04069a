#pragma once
// Which window is focused or under the pointer on Wayland compositors that
// tell (sway and Hyprland, over their IPC sockets). Wayland itself keeps this
// from other clients, so everywhere else there is no answer.
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Geometry.h"
#include "platform/Services.h"
#include "platform/linux/desktop/AppResolver.h"

namespace gm::platform::linux_desktop {

struct CompositorWindow {
    ProcessID pid = 0;
    std::string appId;     // Wayland app_id, or the X11 class of an XWayland window
    std::string instance;  // X11 instance of an XWayland window
    std::string desktopId;  // the desktop entry GNOME Shell or KWin matched, where they tell
    Rect frame;
    int workspace = 0;
    bool floating = false;
    bool fullscreen = false;
    int focusHistory = 0;  // 0 = focused most recently
    WindowFacts facts() const { return WindowFacts{pid, instance, appId}; }
};

// ---- sway (i3 IPC) -------------------------------------------------------------
namespace sway {
inline constexpr std::uint32_t kGetOutputs = 3;
inline constexpr std::uint32_t kGetTree = 4;
// "i3-ipc", payload length, type (both native byte order), then the payload.
std::string encodeMessage(std::uint32_t type, std::string_view payload);
// The payload length in a 14-byte reply header; nothing when the magic is wrong.
std::optional<std::uint32_t> decodeHeader(std::string_view header);
// The focused window in a GET_TREE reply; nothing when a workspace or
// nothing at all has the focus.
std::optional<CompositorWindow> focusedWindow(std::string_view treeJson);
// Every window of a GET_TREE reply (tiled and floating, on every workspace)
// that names its process and its application.
std::vector<CompositorWindow> windows(std::string_view treeJson);
// The active outputs of a GET_OUTPUTS reply, in logical coordinates.
std::vector<Screen> outputs(std::string_view outputsJson);
}  // namespace sway

// ---- Hyprland ------------------------------------------------------------------
namespace hyprland {
std::optional<Point> cursorPosition(std::string_view cursorposJson);
std::optional<CompositorWindow> activeWindow(std::string_view activewindowJson);
std::vector<CompositorWindow> clients(std::string_view clientsJson);
// The monitors of a "j/monitors" reply, in logical coordinates.
std::vector<Screen> monitors(std::string_view monitorsJson);
// The ids of the workspaces showing on some monitor (active and special ones).
std::vector<int> visibleWorkspaces(std::string_view monitorsJson);
// The window the pointer is over: on a visible workspace, containing the
// point, fullscreen above floating above tiled, then most recently focused.
std::optional<CompositorWindow> windowAt(const std::vector<CompositorWindow>& clients,
                                         const std::vector<int>& visibleWorkspaces, Point point);
}  // namespace hyprland

// ---- which desktop -----------------------------------------------------------------
enum class DesktopKind { X11, Sway, Hyprland, OtherWayland, None };
// From the session's environment variables (`getenv` is injectable for tests).
DesktopKind detectDesktop(const std::function<const char*(const char*)>& getenv);

// Round trips to the compositor, with a short deadline so a stuck compositor
// cannot stall the caller. Nothing when the socket cannot be reached.
std::optional<std::string> swayRequest(const std::string& socketPath, std::uint32_t type, std::string_view payload);
std::optional<std::string> hyprlandRequest(const std::string& socketPath, std::string_view command);
// $XDG_RUNTIME_DIR/hypr/<signature>/.socket.sock, or the older /tmp/hypr one when that is absent.
std::string hyprlandSocketPath();

struct WaylandTarget {
    std::optional<Point> location;  // sway does not tell where the pointer is
    std::optional<CompositorWindow> window;
};

// The window wheel events go to on a Wayland desktop. Asking the compositor
// takes a socket round trip or three, so an answer is reused for `maxAge`.
// On sway that is the focused window (sway focuses the window under the
// pointer by default); on Hyprland the window under the cursor.
class WaylandTargetSource {
public:
    WaylandTargetSource(DesktopKind kind, std::chrono::milliseconds maxAge = std::chrono::milliseconds(100));
    WaylandTarget target();
    DesktopKind kind() const { return kind_; }

private:
    WaylandTarget query() const;

    DesktopKind kind_;
    std::chrono::milliseconds maxAge_;
    std::mutex mutex_;
    std::chrono::steady_clock::time_point fetched_{};
    bool haveAnswer_ = false;
    WaylandTarget last_;
    bool reportedNone_ = false;
};

}  // namespace gm::platform::linux_desktop
