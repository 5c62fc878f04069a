#include "platform/linux/desktop/ShellReports.h"

#include <cctype>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>

#include "platform/linux/desktop/JsonNumbers.h"

namespace gm::platform::linux_desktop::shell {
namespace {

using nlohmann::json;

std::string stringAt(const json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// Frames are in the layout's logical pixels; anything that is not a number
// leaves the frame empty, which contains no point.
Rect frameOf(const json& window) {
    const auto f = window.find("frame");
    if (f == window.end() || !f->is_object()) return {};
    Rect r;
    for (auto [key, field] : {std::pair{"x", &r.x}, {"y", &r.y}, {"width", &r.width}, {"height", &r.height}}) {
        const auto it = f->find(key);
        if (it == f->end() || !it->is_number()) return {};
        *field = it->get<double>();
    }
    return r;
}

std::optional<CompositorWindow> windowOf(const json& value) {
    if (!value.is_object()) return std::nullopt;
    CompositorWindow w;
    const auto pid = wholeNumberAt<ProcessID>(value, "pid");
    if (!pid || *pid <= 0) return std::nullopt;
    w.pid = *pid;
    w.appId = stringAt(value, "appId");
    w.instance = stringAt(value, "instance");
    w.desktopId = stringAt(value, "desktopId");
    if (w.appId.empty() && w.instance.empty() && w.desktopId.empty()) return std::nullopt;
    w.frame = frameOf(value);
    return w;
}

std::optional<json> parse(std::string_view text) {
    auto value = json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (value.is_discarded()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<CompositorWindow> parseWindow(std::string_view text) {
    const auto value = parse(text);
    return value ? windowOf(*value) : std::nullopt;
}

std::vector<CompositorWindow> parseWindows(std::string_view text) {
    std::vector<CompositorWindow> out;
    const auto value = parse(text);
    if (!value || !value->is_array()) return out;
    for (const auto& item : *value)
        if (auto w = windowOf(item)) out.push_back(std::move(*w));
    return out;
}

bool kwinScriptSwitchedOff(std::string_view kwinrc) {
    const auto trim = [](std::string_view v) {
        while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
        while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r')) v.remove_suffix(1);
        return v;
    };
    bool inPlugins = false;
    bool off = false;
    while (!kwinrc.empty()) {
        const auto end = kwinrc.find('\n');
        const auto line = trim(kwinrc.substr(0, end));
        kwinrc.remove_prefix(end == std::string_view::npos ? kwinrc.size() : end + 1);
        if (line.starts_with('[')) {
            inPlugins = line == "[Plugins]";
            continue;
        }
        const auto eq = line.find('=');
        if (!inPlugins || eq == std::string_view::npos || trim(line.substr(0, eq)) != "glidemarkEnabled") continue;
        // KConfig's spellings of false; the last line wins, as there.
        std::string value(trim(line.substr(eq + 1)));
        for (auto& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        off = value == "false" || value == "no" || value == "off" || value == "0";
    }
    return off;
}

}  // namespace gm::platform::linux_desktop::shell
