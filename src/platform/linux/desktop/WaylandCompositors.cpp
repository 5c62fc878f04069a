#include "platform/linux/desktop/WaylandCompositors.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/Log.h"
#include "platform/linux/desktop/JsonNumbers.h"

namespace gm::platform::linux_desktop {
namespace {

using nlohmann::json;

constexpr std::string_view kI3Magic = "i3-ipc";
constexpr std::size_t kI3HeaderSize = 14;

std::optional<json> parse(std::string_view text) {
    auto value = json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (value.is_discarded()) return std::nullopt;
    return value;
}

template <typename T>
T get(const json& object, const char* key, T fallback) {
    if (!object.is_object()) return fallback;
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) return fallback;
    if constexpr (std::is_same_v<T, std::string>) {
        return it->is_string() ? it->template get<std::string>() : fallback;
    } else if constexpr (std::is_same_v<T, bool>) {
        // Hyprland has reported some flags as numbers in some releases.
        if (it->is_boolean()) return it->template get<bool>();
        if (it->is_number()) return it->template get<double>() != 0;
        return fallback;
    } else if constexpr (std::is_integral_v<T>) {
        // Any JSON number may come, 3e9 or 1e300 included: one that is not a
        // whole T is as good as none.
        return wholeNumber<T>(*it).value_or(fallback);
    } else {
        return it->is_number() ? it->template get<T>() : fallback;
    }
}

// ---- sway tree -----------------------------------------------------------------

// Real trees are a handful of levels deep; a reply nested deeper than this
// (the socket accepts replies of many megabytes) is not worth the stack.
constexpr int kMaxTreeDepth = 64;

const json* findFocused(const json& node, int depth) {
    if (!node.is_object() || depth > kMaxTreeDepth) return nullptr;
    if (get(node, "focused", false)) return &node;
    for (const char* key : {"nodes", "floating_nodes"}) {
        const auto it = node.find(key);
        if (it == node.end() || !it->is_array()) continue;
        for (const auto& child : *it)
            if (const auto* found = findFocused(child, depth + 1)) return found;
    }
    return nullptr;
}

Rect rectOf(const json& r) {
    return Rect{get(r, "x", 0.0), get(r, "y", 0.0), get(r, "width", 0.0), get(r, "height", 0.0)};
}

CompositorWindow swayWindow(const json& node) {
    CompositorWindow w;
    w.pid = get(node, "pid", 0);
    w.appId = get(node, "app_id", std::string());
    if (const auto props = node.find("window_properties"); props != node.end()) {
        // An XWayland window: no app_id, but the X11 class and instance.
        if (w.appId.empty()) w.appId = get(*props, "class", std::string());
        w.instance = get(*props, "instance", std::string());
    }
    if (const auto rect = node.find("rect"); rect != node.end()) w.frame = rectOf(*rect);
    w.floating = get(node, "type", std::string()) == "floating_con";
    w.fullscreen = get(node, "fullscreen_mode", 0) != 0;
    return w;
}

void collectWindows(const json& node, int depth, std::vector<CompositorWindow>& out) {
    if (!node.is_object() || depth > kMaxTreeDepth) return;
    const auto type = get(node, "type", std::string());
    if (type == "con" || type == "floating_con") {
        auto w = swayWindow(node);
        if (w.pid > 0 && !w.appId.empty()) out.push_back(std::move(w));
    }
    for (const char* key : {"nodes", "floating_nodes"}) {
        const auto it = node.find(key);
        if (it == node.end() || !it->is_array()) continue;
        for (const auto& child : *it) collectWindows(child, depth + 1, out);
    }
}

// A display number that stays with an output across reconnections and
// layout changes, where an index in the list would not (FNV-1a of the name).
DisplayID displayIdOfName(std::string_view name) {
    std::uint32_t hash = 2166136261u;
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

// A rate no display has (the display clock paces frames by it) is not believed.
double refreshOr(double hz) { return hz > 1.0 && hz <= 1000.0 ? hz : 60.0; }

// ---- Hyprland --------------------------------------------------------------------

std::optional<CompositorWindow> hyprWindow(const json& c) {
    if (!c.is_object()) return std::nullopt;
    CompositorWindow w;
    w.pid = get(c, "pid", 0);
    w.appId = get(c, "class", std::string());
    if (w.appId.empty()) w.appId = get(c, "initialClass", std::string());
    const auto at = c.find("at");
    const auto size = c.find("size");
    if (at != c.end() && at->is_array() && at->size() == 2 && size != c.end() && size->is_array() && size->size() == 2 &&
        (*at)[0].is_number() && (*at)[1].is_number() && (*size)[0].is_number() && (*size)[1].is_number())
        w.frame = Rect{(*at)[0].get<double>(), (*at)[1].get<double>(), (*size)[0].get<double>(), (*size)[1].get<double>()};
    if (const auto ws = c.find("workspace"); ws != c.end()) w.workspace = get(*ws, "id", 0);
    w.floating = get(c, "floating", false);
    w.fullscreen = get(c, "fullscreen", false);
    w.focusHistory = get(c, "focusHistoryID", 0);
    return w;
}

}  // namespace

namespace sway {

std::string encodeMessage(std::uint32_t type, std::string_view payload) {
    std::string out(kI3Magic);
    const auto length = static_cast<std::uint32_t>(payload.size());
    out.append(reinterpret_cast<const char*>(&length), sizeof length);
    out.append(reinterpret_cast<const char*>(&type), sizeof type);
    out.append(payload);
    return out;
}

std::optional<std::uint32_t> decodeHeader(std::string_view header) {
    if (header.size() < kI3HeaderSize || header.substr(0, kI3Magic.size()) != kI3Magic) return std::nullopt;
    std::uint32_t length = 0;
    std::memcpy(&length, header.data() + kI3Magic.size(), sizeof length);
    return length;
}

std::optional<CompositorWindow> focusedWindow(std::string_view treeJson) {
    const auto tree = parse(treeJson);
    if (!tree) return std::nullopt;
    const auto* node = findFocused(*tree, 0);
    if (!node) return std::nullopt;
    const auto type = get(*node, "type", std::string());
    if (type != "con" && type != "floating_con") return std::nullopt;
    return swayWindow(*node);
}

std::vector<CompositorWindow> windows(std::string_view treeJson) {
    std::vector<CompositorWindow> out;
    if (const auto tree = parse(treeJson)) collectWindows(*tree, 0, out);
    return out;
}

std::vector<Screen> outputs(std::string_view outputsJson) {
    std::vector<Screen> out;
    const auto value = parse(outputsJson);
    if (!value || !value->is_array()) return out;
    for (const auto& o : *value) {
        // Disabled or disconnected outputs are listed too, with an empty rect.
        if (!get(o, "active", false)) continue;
        const auto rect = o.find("rect");
        if (rect == o.end()) continue;
        Screen s;
        s.frame = rectOf(*rect);  // already in the layout's logical units
        if (s.frame.width <= 0 || s.frame.height <= 0) continue;
        s.displayID = displayIdOfName(get(o, "name", std::string()));
        if (const auto mode = o.find("current_mode"); mode != o.end())
            s.refreshRate = refreshOr(get(*mode, "refresh", 0.0) / 1000.0);  // millihertz
        out.push_back(s);
    }
    return out;
}

}  // namespace sway

namespace hyprland {

std::optional<Point> cursorPosition(std::string_view cursorposJson) {
    const auto value = parse(cursorposJson);
    if (!value || !value->is_object() || !value->contains("x") || !value->contains("y")) return std::nullopt;
    return Point{get(*value, "x", 0.0), get(*value, "y", 0.0)};
}

std::optional<CompositorWindow> activeWindow(std::string_view activewindowJson) {
    const auto value = parse(activewindowJson);
    // With nothing focused the reply is an empty object.
    if (!value || !value->is_object() || value->empty()) return std::nullopt;
    return hyprWindow(*value);
}

std::vector<CompositorWindow> clients(std::string_view clientsJson) {
    std::vector<CompositorWindow> out;
    const auto value = parse(clientsJson);
    if (!value || !value->is_array()) return out;
    for (const auto& c : *value) {
        if (!get(c, "mapped", true) || get(c, "hidden", false)) continue;
        if (auto w = hyprWindow(c)) out.push_back(std::move(*w));
    }
    return out;
}

std::vector<Screen> monitors(std::string_view monitorsJson) {
    std::vector<Screen> out;
    const auto value = parse(monitorsJson);
    if (!value || !value->is_array()) return out;
    for (const auto& m : *value) {
        if (!m.is_object() || get(m, "disabled", false)) continue;
        // width and height are the mode's pixels; the layout (x, y, and the
        // pointer) is in logical units, pixels divided by the scale, with the
        // sides swapped when the monitor is turned a quarter.
        const double scale = get(m, "scale", 1.0) > 0 ? get(m, "scale", 1.0) : 1.0;
        double width = get(m, "width", 0.0) / scale;
        double height = get(m, "height", 0.0) / scale;
        if (get(m, "transform", 0) % 2 == 1) std::swap(width, height);
        // A scale near zero makes no screen either (the size would be infinite).
        if (!(width > 0 && height > 0 && std::isfinite(width) && std::isfinite(height))) continue;
        Screen s;
        s.frame = Rect{get(m, "x", 0.0), get(m, "y", 0.0), width, height};
        if (const int id = get(m, "id", -1); id >= 0) s.displayID = static_cast<DisplayID>(id);
        s.refreshRate = refreshOr(get(m, "refreshRate", 0.0));
        out.push_back(s);
    }
    return out;
}

std::vector<int> visibleWorkspaces(std::string_view monitorsJson) {
    std::vector<int> out;
    const auto value = parse(monitorsJson);
    if (!value || !value->is_array()) return out;
    for (const auto& m : *value) {
        if (!m.is_object()) continue;
        for (const char* key : {"activeWorkspace", "specialWorkspace"}) {
            const auto ws = m.find(key);
            if (ws == m.end()) continue;
            // Special workspaces have negative ids; 0 means none is shown.
            if (const int id = get(*ws, "id", 0); id != 0) out.push_back(id);
        }
    }
    return out;
}

std::optional<CompositorWindow> windowAt(const std::vector<CompositorWindow>& clientList,
                                         const std::vector<int>& visible, Point point) {
    const CompositorWindow* best = nullptr;
    const auto layer = [](const CompositorWindow& w) {
        return (w.workspace < 0 ? 4 : 0) + (w.fullscreen ? 2 : 0) + (w.floating ? 1 : 0);
    };
    for (const auto& w : clientList) {
        if (std::find(visible.begin(), visible.end(), w.workspace) == visible.end()) continue;
        if (!w.frame.contains(point)) continue;
        if (!best || layer(w) > layer(*best) || (layer(w) == layer(*best) && w.focusHistory < best->focusHistory))
            best = &w;
    }
    return best ? std::optional(*best) : std::nullopt;
}

}  // namespace hyprland

DesktopKind detectDesktop(const std::function<const char*(const char*)>& getenv) {
    const auto set = [&](const char* name) {
        const char* v = getenv(name);
        return v && *v;
    };
    // Wayland first: XWayland sets DISPLAY too, but X11 then sees only its own windows.
    if (set("HYPRLAND_INSTANCE_SIGNATURE")) return DesktopKind::Hyprland;
    if (set("SWAYSOCK")) return DesktopKind::Sway;
    if (set("WAYLAND_DISPLAY")) return DesktopKind::OtherWayland;
    if (set("DISPLAY")) return DesktopKind::X11;
    return DesktopKind::None;
}

namespace {

int connectUnix(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const timeval deadline{0, 250000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &deadline, sizeof deadline);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &deadline, sizeof deadline);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const auto n = ::write(fd, data.data(), data.size());
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Reads `count` bytes, or to the end of the stream when `count` is absent.
std::optional<std::string> readBytes(int fd, std::optional<std::size_t> count) {
    std::string out;
    char buffer[8192];
    constexpr std::size_t kLimit = 64u << 20;  // a tree of thousands of windows is still far below
    while (!count || out.size() < *count) {
        const auto want = count ? std::min(sizeof buffer, *count - out.size()) : sizeof buffer;
        const auto n = ::read(fd, buffer, want);
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
        if (out.size() > kLimit) return std::nullopt;
    }
    if (count && out.size() != *count) return std::nullopt;
    return out;
}

}  // namespace

std::optional<std::string> swayRequest(const std::string& socketPath, std::uint32_t type, std::string_view payload) {
    const int fd = connectUnix(socketPath);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> reply;
    if (writeAll(fd, sway::encodeMessage(type, payload)))
        if (const auto header = readBytes(fd, kI3HeaderSize))
            if (const auto length = sway::decodeHeader(*header)) reply = readBytes(fd, *length);
    ::close(fd);
    return reply;
}

std::optional<std::string> hyprlandRequest(const std::string& socketPath, std::string_view command) {
    const int fd = connectUnix(socketPath);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> reply;
    if (writeAll(fd, command)) reply = readBytes(fd, std::nullopt);
    ::close(fd);
    return reply;
}

std::string hyprlandSocketPath() {
    const char* signature = std::getenv("HYPRLAND_INSTANCE_SIGNATURE");
    if (!signature || !*signature) return {};
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) {
        std::string path = std::string(runtime) + "/hypr/" + signature + "/.socket.sock";
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) return path;
    }
    return std::string("/tmp/hypr/") + signature + "/.socket.sock";
}

WaylandTargetSource::WaylandTargetSource(DesktopKind kind, std::chrono::milliseconds maxAge)
    : kind_(kind), maxAge_(maxAge) {}

WaylandTarget WaylandTargetSource::target() {
    std::lock_guard lock(mutex_);
    if (kind_ != DesktopKind::Sway && kind_ != DesktopKind::Hyprland) {
        if (!reportedNone_)
            gm::platform::log().info("This desktop does not tell which window is under the pointer; "
                                     "per-application exceptions cannot apply");
        reportedNone_ = true;
        return {};
    }
    const auto now = std::chrono::steady_clock::now();
    if (!haveAnswer_ || now - fetched_ >= maxAge_) {
        last_ = query();
        fetched_ = now;
        haveAnswer_ = true;
    }
    return last_;
}

WaylandTarget WaylandTargetSource::query() const {
    WaylandTarget target;
    if (kind_ == DesktopKind::Sway) {
        const char* socket = std::getenv("SWAYSOCK");
        if (const auto tree = swayRequest(socket ? socket : "", sway::kGetTree, {}))
            target.window = sway::focusedWindow(*tree);
        return target;
    }
    const auto path = hyprlandSocketPath();
    const auto cursor = hyprlandRequest(path, "j/cursorpos");
    const auto clientList = hyprlandRequest(path, "j/clients");
    const auto monitors = hyprlandRequest(path, "j/monitors");
    if (cursor) target.location = hyprland::cursorPosition(*cursor);
    if (target.location && clientList && monitors)
        target.window = hyprland::windowAt(hyprland::clients(*clientList), hyprland::visibleWorkspaces(*monitors),
                                           *target.location);
    // Only when the compositor would not say what is under the cursor: an
    // empty spot of the desktop is no reason to pick the focused window.
    if (!(target.location && clientList && monitors))
        if (const auto active = hyprlandRequest(path, "j/activewindow")) target.window = hyprland::activeWindow(*active);
    return target;
}

}  // namespace gm::platform::linux_desktop
