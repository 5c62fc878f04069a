#include "platform/linux/desktop/DesktopEntry.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace gm::platform::linux_desktop {
namespace {

std::string_view trim(std::string_view s) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return out;
}

bool parseBool(std::string_view v) { return trim(v) == "true"; }

// Lists are separated by ';', with "\;" standing for a literal semicolon.
std::vector<std::string> parseList(std::string_view v) {
    std::vector<std::string> out;
    std::string cur;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size() && v[i + 1] == ';') {
            cur.push_back(';');
            ++i;
        } else if (v[i] == ';') {
            if (!cur.empty()) out.push_back(unescapeDesktopValue(cur));
            cur.clear();
        } else {
            cur.push_back(v[i]);
        }
    }
    if (!cur.empty()) out.push_back(unescapeDesktopValue(cur));
    return out;
}

std::string basename(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

std::string unescapeDesktopValue(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            out.push_back(raw[i]);
            continue;
        }
        switch (raw[++i]) {
            case 's': out.push_back(' '); break;
            case 'n': out.push_back('\n'); break;
            case 't': out.push_back('\t'); break;
            case 'r': out.push_back('\r'); break;
            case '\\': out.push_back('\\'); break;
            default:  // unknown escapes are kept as written
                out.push_back('\\');
                out.push_back(raw[i]);
        }
    }
    return out;
}

std::vector<std::string> splitExec(std::string_view exec) {
    std::vector<std::string> args;
    std::string cur;
    bool inQuotes = false;
    bool have = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (inQuotes) {
            if (c == '"') {
                inQuotes = false;
            } else if (c == '\\' && i + 1 < exec.size()) {
                cur.push_back(exec[++i]);
            } else {
                cur.push_back(c);
            }
        } else if (c == '"') {
            inQuotes = true;
            have = true;
        } else if (c == ' ' || c == '\t') {
            if (have) args.push_back(std::move(cur));
            cur.clear();
            have = false;
        } else {
            cur.push_back(c);
            have = true;
        }
    }
    if (have) args.push_back(std::move(cur));
    return args;
}

std::optional<DesktopEntry> parseDesktopEntry(std::string_view text) {
    DesktopEntry entry;
    bool inMain = false;
    bool sawMain = false;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const auto nl = text.find('\n', pos);
        const auto line = trim(text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos));
        pos = nl == std::string_view::npos ? text.size() + 1 : nl + 1;
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            // Only the first group may be [Desktop Entry]; actions and vendor
            // groups that follow carry their own Name and Exec.
            inMain = line == "[Desktop Entry]" && !sawMain;
            sawMain = sawMain || inMain;
            continue;
        }
        if (!inMain) continue;
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        auto key = trim(line.substr(0, eq));
        const auto value = trim(line.substr(eq + 1));
        std::string locale;
        if (const auto br = key.find('['); br != std::string_view::npos && key.back() == ']') {
            locale = std::string(key.substr(br + 1, key.size() - br - 2));
            key = key.substr(0, br);
        }
        if (!locale.empty()) {
            if (key == "Name") entry.localizedNames.emplace(locale, unescapeDesktopValue(value));
            continue;
        }
        // The first occurrence of a key wins; later duplicates are invalid files.
        if (key == "Type" && entry.type.empty()) entry.type = unescapeDesktopValue(value);
        else if (key == "Name" && entry.name.empty()) entry.name = unescapeDesktopValue(value);
        else if (key == "Icon" && entry.icon.empty()) entry.icon = unescapeDesktopValue(value);
        // Exec is unescaped like any string; its own quoting applies afterwards.
        else if (key == "Exec" && entry.exec.empty()) entry.exec = unescapeDesktopValue(value);
        else if (key == "StartupWMClass" && entry.startupWMClass.empty()) entry.startupWMClass = unescapeDesktopValue(value);
        else if (key == "NoDisplay") entry.noDisplay = parseBool(value);
        else if (key == "Hidden") entry.hidden = parseBool(value);
        else if (key == "OnlyShowIn") entry.onlyShowIn = parseList(value);
        else if (key == "NotShowIn") entry.notShowIn = parseList(value);
    }
    if (!sawMain) return std::nullopt;
    return entry;
}

std::string DesktopEntry::localizedName(std::string_view locale) const {
    if (localizedNames.empty() || locale.empty() || locale == "C" || locale == "POSIX") return name;
    // lang_COUNTRY.ENCODING@MODIFIER → lang, COUNTRY, MODIFIER
    std::string_view rest = locale;
    std::string_view modifier;
    if (const auto at = rest.find('@'); at != std::string_view::npos) {
        modifier = rest.substr(at + 1);
        rest = rest.substr(0, at);
    }
    if (const auto dot = rest.find('.'); dot != std::string_view::npos) rest = rest.substr(0, dot);
    std::string_view lang = rest;
    std::string_view country;
    if (const auto us = rest.find('_'); us != std::string_view::npos) {
        lang = rest.substr(0, us);
        country = rest.substr(us + 1);
    }
    std::vector<std::string> candidates;
    if (!country.empty() && !modifier.empty())
        candidates.push_back(std::string(lang) + "_" + std::string(country) + "@" + std::string(modifier));
    if (!country.empty()) candidates.push_back(std::string(lang) + "_" + std::string(country));
    if (!modifier.empty()) candidates.push_back(std::string(lang) + "@" + std::string(modifier));
    candidates.emplace_back(lang);
    for (const auto& c : candidates)
        if (const auto it = localizedNames.find(c); it != localizedNames.end()) return it->second;
    return name;
}

bool DesktopEntry::shownInMenus(std::string_view currentDesktops) const {
    if (noDisplay || hidden) return false;
    if (!type.empty() && type != "Application") return false;
    std::vector<std::string> current;
    std::size_t pos = 0;
    while (pos <= currentDesktops.size()) {
        const auto colon = currentDesktops.find(':', pos);
        const auto part = currentDesktops.substr(pos, colon == std::string_view::npos ? std::string_view::npos : colon - pos);
        if (!part.empty()) current.emplace_back(part);
        if (colon == std::string_view::npos) break;
        pos = colon + 1;
    }
    const auto anyCurrent = [&](const std::vector<std::string>& list) {
        return std::any_of(list.begin(), list.end(), [&](const std::string& d) {
            return std::find(current.begin(), current.end(), d) != current.end();
        });
    };
    if (!onlyShowIn.empty() && !anyCurrent(onlyShowIn)) return false;
    if (anyCurrent(notShowIn)) return false;
    return true;
}

std::string DesktopEntry::execProgram() const {
    const auto args = splitExec(exec);
    std::size_t i = 0;
    if (i < args.size() && basename(args[i]) == "env") {
        ++i;
        while (i < args.size() && args[i].find('=') != std::string::npos) ++i;
    }
    return i < args.size() ? args[i] : std::string();
}

std::vector<std::filesystem::path> xdgDataDirs() {
    std::vector<std::filesystem::path> dirs;
    if (const char* home = std::getenv("XDG_DATA_HOME"); home && *home == '/') {
        dirs.emplace_back(home);
    } else if (const char* h = std::getenv("HOME"); h && *h) {
        dirs.emplace_back(std::filesystem::path(h) / ".local/share");
    }
    const char* env = std::getenv("XDG_DATA_DIRS");
    std::string_view list = env && *env ? env : "/usr/local/share:/usr/share";
    std::size_t pos = 0;
    while (pos <= list.size()) {
        const auto colon = list.find(':', pos);
        const auto part = list.substr(pos, colon == std::string_view::npos ? std::string_view::npos : colon - pos);
        if (!part.empty() && part.front() == '/') dirs.emplace_back(part);
        if (colon == std::string_view::npos) break;
        pos = colon + 1;
    }
    return dirs;
}

DesktopEntryIndex::DesktopEntryIndex(const std::vector<std::filesystem::path>& dataDirs) {
    namespace fs = std::filesystem;
    for (const auto& dir : dataDirs) {
        const auto apps = dir / "applications";
        std::error_code ec;
        if (!fs::is_directory(apps, ec)) continue;
        // Sorted, so that which of two same-named files wins does not depend
        // on the file system's listing order.
        std::vector<fs::path> files;
        for (auto it = fs::recursive_directory_iterator(apps, fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->path().extension() == ".desktop" && it->is_regular_file(ec)) files.push_back(it->path());
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            std::string id = file.lexically_relative(apps).replace_extension().string();
            std::replace(id.begin(), id.end(), '/', '-');
            if (entries_.count(id)) continue;
            std::ifstream in(file, std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            auto entry = parseDesktopEntry(text.str());
            if (!entry) continue;
            entry->id = std::move(id);
            entry->path = file;
            add(std::move(*entry));
        }
    }
}

void DesktopEntryIndex::add(DesktopEntry entry) {
    auto id = entry.id;
    entries_.emplace(std::move(id), std::move(entry));
}

const DesktopEntry* DesktopEntryIndex::byId(std::string_view id) const {
    const auto it = entries_.find(id);
    return it == entries_.end() ? nullptr : &it->second;
}

const DesktopEntry* DesktopEntryIndex::byStartupWMClass(std::string_view wmClass) const {
    if (wmClass.empty()) return nullptr;
    for (const auto& [id, e] : entries_)
        if (e.startupWMClass == wmClass) return &e;
    return nullptr;
}

const DesktopEntry* DesktopEntryIndex::byIdIgnoringCase(std::string_view name) const {
    if (name.empty()) return nullptr;
    const auto want = lower(name);
    for (const auto& [id, e] : entries_)
        if (lower(id) == want) return &e;
    for (const auto& [id, e] : entries_) {
        const auto dot = id.rfind('.');
        if (dot != std::string::npos && lower(std::string_view(id).substr(dot + 1)) == want) return &e;
    }
    return nullptr;
}

const DesktopEntry* DesktopEntryIndex::byExecutable(std::string_view executable) const {
    if (executable.empty()) return nullptr;
    const DesktopEntry* byName = nullptr;
    const auto name = basename(executable);
    for (const auto& [id, e] : entries_) {
        const auto program = e.execProgram();
        if (program.empty()) continue;
        if (program == executable) return &e;
        // A bare program name is looked up in PATH, so any directory matches it.
        if (!byName && program.find('/') == std::string::npos && program == name) byName = &e;
    }
    return byName;
}

const DesktopEntry* DesktopEntryIndex::firstWithIdPrefix(std::string_view prefix) const {
    const auto it = entries_.lower_bound(prefix);
    if (it != entries_.end() && std::string_view(it->first).substr(0, prefix.size()) == prefix) return &it->second;
    return nullptr;
}

}  // namespace gm::platform::linux_desktop
