#pragma once
// Desktop entries (the .desktop files that menus and docks read) and the index
// of all of them on this system. An application's identity on Linux is its
// desktop-entry id: "org.gnome.TextEditor" for org.gnome.TextEditor.desktop,
// "kde-okular" for kde/okular.desktop.
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gm::platform::linux_desktop {

struct DesktopEntry {
    std::string id;  // without ".desktop"
    std::filesystem::path path;
    std::string type;  // "Application", "Link", ...
    std::string name;  // unlocalized Name
    std::map<std::string, std::string> localizedNames;  // locale tag ("de", "pt_BR") → Name[tag]
    std::string icon;  // a theme icon name or an absolute path
    std::string exec;
    std::string startupWMClass;
    bool noDisplay = false;
    bool hidden = false;
    std::vector<std::string> onlyShowIn;
    std::vector<std::string> notShowIn;

    // Name in the best locale match for `locale` (a POSIX locale such as
    // "pt_BR.UTF-8@euro"): lang_COUNTRY@MOD, lang_COUNTRY, lang@MOD, lang, then Name.
    std::string localizedName(std::string_view locale) const;
    // Whether a menu of the desktops named in `currentDesktops` (the
    // colon-separated XDG_CURRENT_DESKTOP) would list it.
    bool shownInMenus(std::string_view currentDesktops) const;
    // The program Exec starts, with its directory if it has one; empty when
    // Exec is empty. A leading "env VAR=value" is skipped.
    std::string execProgram() const;
};

// Parses one file's text. Returns nothing when it has no [Desktop Entry] group.
std::optional<DesktopEntry> parseDesktopEntry(std::string_view text);

// Replaces the escapes allowed in string values: \s \n \t \r \\.
std::string unescapeDesktopValue(std::string_view raw);

// Splits an Exec line into arguments, honouring double quotes and backslash
// escapes inside them.
std::vector<std::string> splitExec(std::string_view exec);

// The data directories to look in, most important first: $XDG_DATA_HOME
// (default ~/.local/share), then $XDG_DATA_DIRS (default /usr/local/share:/usr/share).
std::vector<std::filesystem::path> xdgDataDirs();

// Every desktop entry under <dir>/applications of the given data directories.
// An id found in an earlier directory hides the same id in later ones.
class DesktopEntryIndex {
public:
    DesktopEntryIndex() = default;
    explicit DesktopEntryIndex(const std::vector<std::filesystem::path>& dataDirs);
    static DesktopEntryIndex fromEnvironment() { return DesktopEntryIndex(xdgDataDirs()); }

    void add(DesktopEntry entry);  // ignored when the id is present already

    const DesktopEntry* byId(std::string_view id) const;
    // Exact match of StartupWMClass.
    const DesktopEntry* byStartupWMClass(std::string_view wmClass) const;
    // The entry whose id equals `name` ignoring case, or whose id's last
    // dot-separated part does (so "texteditor" finds "org.gnome.TextEditor").
    const DesktopEntry* byIdIgnoringCase(std::string_view name) const;
    // The entry whose Exec program is `executable` (an absolute path), by full
    // path first and then by file name.
    const DesktopEntry* byExecutable(std::string_view executable) const;
    // Entries whose id starts with `prefix`, in id order.
    const DesktopEntry* firstWithIdPrefix(std::string_view prefix) const;

    std::size_t size() const { return entries_.size(); }

private:
    std::map<std::string, DesktopEntry, std::less<>> entries_;  // by id
};

}  // namespace gm::platform::linux_desktop
