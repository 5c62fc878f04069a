#pragma once
// Names the application behind a window the way desktop shells do, so that
// the application a user adds to the exceptions list is the same one the
// wheel events are matched against.
#include <optional>
#include <string>

#include "platform/Services.h"
#include "platform/linux/desktop/DesktopEntry.h"
#include "platform/linux/desktop/ProcessInfo.h"

namespace gm::platform::linux_desktop {

// What the window system tells about a window. Any part may be missing.
struct WindowFacts {
    ProcessID pid = 0;      // 0 when unknown
    std::string instance;   // WM_CLASS res_name
    std::string wmClass;    // WM_CLASS res_class, or a Wayland app_id
};

enum class MatchRule { Sandbox, StartupWMClass, DesktopId, Executable, None };

struct EntryMatch {
    const DesktopEntry* entry = nullptr;
    MatchRule rule = MatchRule::None;
};

class AppResolver {
public:
    // `locale` picks the localized names; `currentDesktops` (as in
    // XDG_CURRENT_DESKTOP) decides which entries count as shown in menus.
    AppResolver(DesktopEntryIndex index, ProcFs proc, std::string locale, std::string currentDesktops);
    // Everything from this session's environment and /proc.
    static AppResolver fromEnvironment();

    // In order: the entry the desktop shell itself matched (`desktopId`, where
    // it tells); the sandbox's own application id (Flatpak, snap); WM_CLASS
    // instance then class against StartupWMClass; instance then class against
    // the entry ids, ignoring case; the process's executable against Exec.
    EntryMatch match(const WindowFacts& facts, std::string_view desktopId = {}) const;
    RunningApplication application(const WindowFacts& facts, std::string_view desktopId = {}) const;

    // Name and icon (an icon-theme name or a file path) for a list row of an
    // application that may not be running: from the entry with that id, or
    // the id itself and no icon when no such entry is installed.
    struct Display {
        std::string name;
        std::string icon;
    };
    Display displayForBundleIdentifier(std::string_view bundleIdentifier) const;
    const DesktopEntryIndex& index() const { return index_; }
    const ProcFs& proc() const { return proc_; }

private:
    DesktopEntryIndex index_;
    ProcFs proc_;
    std::string locale_;
    std::string currentDesktops_;
};

}  // namespace gm::platform::linux_desktop
