#include "platform/linux/desktop/ProcessInfo.h"

#include <fstream>
#include <sstream>
#include <system_error>

namespace gm::platform::linux_desktop {
namespace {

std::optional<std::string> readSmallFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text;
    char buffer[4096];
    // /proc files report size 0, so read until end rather than by size; the
    // files we read are small, and a bound keeps a hostile one from growing us.
    while (text.size() < (1u << 20) && in.read(buffer, sizeof buffer).gcount() > 0)
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
    return text;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

}  // namespace

std::optional<std::string> parseFlatpakInfo(std::string_view text) {
    bool inApplication = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto nl = text.find('\n', pos);
        if (nl == std::string_view::npos) nl = text.size();
        const auto line = trim(text.substr(pos, nl - pos));
        pos = nl + 1;
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inApplication = line == "[Application]";
            continue;
        }
        if (!inApplication) continue;
        const auto eq = line.find('=');
        if (eq != std::string_view::npos && trim(line.substr(0, eq)) == "name") {
            const auto value = trim(line.substr(eq + 1));
            if (!value.empty()) return std::string(value);
        }
    }
    return std::nullopt;
}

std::optional<SnapApp> parseSnapCgroup(std::string_view text) {
    // The scope is named snap.<snap>.<app>-<uuid>.scope (or .<app>.<hook> for
    // older snapd); the snap name itself contains no dots.
    for (std::size_t pos = text.find("snap."); pos != std::string_view::npos; pos = text.find("snap.", pos + 1)) {
        if (pos > 0 && text[pos - 1] != '/') continue;  // only a path component that starts with it
        const auto rest = text.substr(pos + 5);
        const auto end = rest.find_first_of("/\n");
        const auto unit = rest.substr(0, end);
        const auto dot = unit.find('.');
        if (dot == 0 || dot == std::string_view::npos) continue;
        SnapApp app{std::string(unit.substr(0, dot)), {}};
        auto appPart = unit.substr(dot + 1);
        appPart = appPart.substr(0, appPart.find('.'));  // drops ".scope" and hook names
        // App names may contain dashes themselves; the unique suffix is the
        // first dash after which only hex digits and dashes follow.
        for (std::size_t dash = appPart.find('-'); dash != std::string_view::npos; dash = appPart.find('-', dash + 1)) {
            const auto suffix = appPart.substr(dash + 1);
            if (suffix.size() >= 8 && suffix.find_first_not_of("0123456789abcdef-") == std::string_view::npos) {
                appPart = appPart.substr(0, dash);
                break;
            }
        }
        if (appPart != "scope" && appPart != "service") app.app = std::string(appPart);
        return app;
    }
    return std::nullopt;
}

std::optional<std::string> ProcFs::flatpakAppId(ProcessID pid) const {
    const auto text = readSmallFile(dir(pid) / "root/.flatpak-info");
    return text ? parseFlatpakInfo(*text) : std::nullopt;
}

std::optional<SnapApp> ProcFs::snapApp(ProcessID pid) const {
    const auto text = readSmallFile(dir(pid) / "cgroup");
    return text ? parseSnapCgroup(*text) : std::nullopt;
}

std::optional<std::string> ProcFs::executable(ProcessID pid) const {
    std::error_code ec;
    auto target = std::filesystem::read_symlink(dir(pid) / "exe", ec).string();
    if (ec || target.empty()) return std::nullopt;
    constexpr std::string_view deleted = " (deleted)";
    if (target.size() > deleted.size() && target.compare(target.size() - deleted.size(), deleted.size(), deleted) == 0)
        target.resize(target.size() - deleted.size());
    return target;
}

std::optional<std::string> ProcFs::command(ProcessID pid) const {
    const auto text = readSmallFile(dir(pid) / "comm");
    if (!text) return std::nullopt;
    const auto name = trim(*text);
    if (name.empty()) return std::nullopt;
    return std::string(name);
}

bool ProcFs::exists(ProcessID pid) const {
    std::error_code ec;
    return pid > 0 && std::filesystem::is_directory(dir(pid), ec);
}

}  // namespace gm::platform::linux_desktop
