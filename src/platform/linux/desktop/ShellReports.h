#pragma once
// What Glidemark's GNOME Shell extension and KWin script report, in the JSON
// both of them write: a window is
//   {"pid": 4242, "appId": "org.gnome.TextEditor", "instance": "",
//    "desktopId": "org.gnome.TextEditor", "frame": {"x": 0, "y": 32, "width": 800, "height": 600}}
// or null, and the window list is an array of windows without frames.
#include <optional>
#include <string_view>
#include <vector>

#include "platform/linux/desktop/WaylandCompositors.h"

namespace gm::platform::linux_desktop::shell {

// Nothing for null, and for a report that is not a window of a process
// (malformed, no pid or one out of range, no application id at all).
std::optional<CompositorWindow> parseWindow(std::string_view json);
// The well-formed windows of a list; nothing of a report that is not a list.
std::vector<CompositorWindow> parseWindows(std::string_view json);

// Whether KWin's configuration (the text of kwinrc) has the user's switch for
// the script off: "glidemarkEnabled=false" in [Plugins].
bool kwinScriptSwitchedOff(std::string_view kwinrc);

}  // namespace gm::platform::linux_desktop::shell
