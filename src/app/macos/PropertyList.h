#pragma once
// The property lists of the macOS bundle, written as XML: the bundle's
// Info.plist (made at build time) and the LaunchAgent that starts the program
// at login on systems without the login-item service.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace gm::app::macos {

using PlistValue = std::variant<bool, std::string, std::vector<std::string>>;
// Keys in the order they are written.
using PlistDictionary = std::vector<std::pair<std::string, PlistValue>>;

// None when a string holds a character XML cannot carry (a control character
// other than tab, line feed and carriage return): such a list would be
// rejected by whoever reads it, so none is written.
std::optional<std::string> xmlPropertyList(const PlistDictionary& dictionary);

struct BundleInfo {
    std::string identifier;
    std::string name;
    std::string executable;
    std::string version;
    std::string iconFile;
    std::string copyright;
};

// A menu-bar agent (LSUIElement: no Dock icon, no menu bar) for macOS 11.5 and later.
std::optional<std::string> infoPlist(const BundleInfo& info);

// ~/Library/LaunchAgents/<label>.plist: runs `program` when the user logs in.
std::string launchAgentPath(const std::string& home, const std::string& label);
std::optional<std::string> launchAgentPlist(const std::string& label, const std::string& program);

}  // namespace gm::app::macos
