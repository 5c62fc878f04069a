#include "platform/LocalText.h"

#include <array>
#include <string_view>
#include <utility>

namespace gm::platform {

namespace {

#if !defined(__APPLE__)
using Wording = std::pair<const char*, const char*>;

// Mac text -> the same sentence with this desktop's words. Symbol names are
// here too: "" means the key has no symbol of its own and shows its name.
constexpr std::array kLocalWords{
    // Input access: on Linux an administrator grants it once, by installing a
    // udev rule; the alert's first button starts that.
    Wording{"Accessibility Permission Required", "Mouse Access Required"},
    Wording{"Glidemark needs Accessibility permission to work properly.\n\n"
            "Go to System Settings > Privacy & Security > Accessibility to grant permission.",
            "Glidemark needs access to the mouse (input devices) to work properly.\n\n"
            "Choose Grant Access\u2026 to grant it: an administrator grants it once for this computer."},
    Wording{"Open System Settings", "Grant Access\u2026"},
    // Installing instead of moving into the Applications folder.
    Wording{"Move to Applications folder", "Install Glidemark"},
    Wording{" needs to move to your Applications folder in order to work properly.",
            " needs to be installed in order to work properly: for this user in ~/.local/bin, or for everyone in "
            "/usr/local/bin."},
    Wording{"Move to Applications Folder", "Install for This User"},
    Wording{"Move for All Users", "Install for Everyone"},
    Wording{"Do Not Move", "Do Not Install"},
    // The tray icon in the panel, not the menu bar's status item.
    Wording{"Show menu bar icon", "Show tray icon"},
    Wording{"Shows the app icon in status bar.\nRe-run Glidemark to show Preferences window",
            "Shows the app icon in the panel.\nRe-run Glidemark to show Preferences window"},
    // PC keyboards: Super, Ctrl and Alt.
    Wording{"Command", "Super"},
    Wording{"Control", "Ctrl"},
    Wording{"Option", "Alt"},
    Wording{"command", "super"},
    Wording{"control", ""},
    Wording{"option", ""},
};
#endif

}  // namespace

const char* localText(const char* text) {
#if !defined(__APPLE__)
    for (const auto& [mac, local] : kLocalWords)
        if (std::string_view(mac) == text) return local;
#endif
    return text;
}

}  // namespace gm::platform
