#include "platform/linux/desktop/X11Workspace.h"

#include <xcb/res.h>

#include <algorithm>
#include <set>

#include "platform/Log.h"
#include "platform/linux/desktop/X11Properties.h"

namespace gm::platform::linux_desktop {
namespace {

// How deep below a top-level window the client may sit (root child → WM frame
// → decoration → client is the deepest layout in common window managers).
constexpr int kMaxClientDepth = 4;
constexpr std::size_t kMaxSearchedWindows = 256;

bool sameApplication(const AppRef& a, const AppRef& b) {
    if (!a || !b) return a == b;
    return a->processIdentifier == b->processIdentifier && a->bundleIdentifier == b->bundleIdentifier &&
           a->localizedName == b->localizedName;
}

}  // namespace

X11Workspace::X11Workspace(X11Connection& connection, DispatchQueue& mainQueue,
                           std::shared_ptr<const AppResolver> resolver, Options options)
    : connection_(connection), mainQueue_(mainQueue), resolver_(std::move(resolver)), options_(std::move(options)),
      observers_(std::make_shared<ActivationObservers>()) {
    auto* c = connection_.raw();
    // XRes names the process that owns a window even when the client does not
    // set _NET_WM_PID (or sets a pid from another pid namespace).
    if (xcb_get_extension_data(c, &xcb_res_id)->present) {
        XcbReply<xcb_res_query_version_reply_t> v{
            xcb_res_query_version_reply(c, xcb_res_query_version(c, 1, 2), nullptr)};
        hasXRes_ = options_.useXRes && v && (v->server_major > 1 || (v->server_major == 1 && v->server_minor >= 2));
    }
    // Activations arrive as property changes on the root; closing windows as
    // destroy/reparent of its children, which is when their cache entries go.
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, connection_.root(), XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    handlerId_ = connection_.addHandler([this](const xcb_generic_event_t& event) { handleEvent(event); });
    refreshFrontmost();
}

X11Workspace::~X11Workspace() { connection_.removeHandler(handlerId_); }

void X11Workspace::handleEvent(const xcb_generic_event_t& event) {
    switch (event.response_type & 0x7f) {
        case XCB_PROPERTY_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
            if (e.window == connection_.root() && e.atom == connection_.ewmh()->_NET_ACTIVE_WINDOW) refreshFrontmost();
            break;
        }
        case XCB_DESTROY_NOTIFY:
            evict(reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window);
            break;
        case XCB_REPARENT_NOTIFY: {
            // A client moving into or out of a frame changes which top-level
            // window stands for it, and what the frame holds.
            const auto& e = reinterpret_cast<const xcb_reparent_notify_event_t&>(event);
            evict(e.window);
            evict(e.parent);
            break;
        }
        default:
            break;
    }
}

void X11Workspace::evict(xcb_window_t window) {
    std::lock_guard lock(mutex_);
    const auto it = cache_.find(window);
    if (it == cache_.end()) return;
    const auto client = it->second.client;
    cache_.erase(it);
    if (client != window) cache_.erase(client);
}

void X11Workspace::refreshFrontmost() {
    xcb_window_t active = XCB_NONE;
    if (!xcb_ewmh_get_active_window_reply(connection_.ewmh(), xcb_ewmh_get_active_window(connection_.ewmh(), 0),
                                          &active, nullptr))
        active = XCB_NONE;
    AppRef app = active == XCB_NONE ? nullptr : applicationOfWindow(active);
    bool changed = false;
    {
        std::lock_guard lock(mutex_);
        changed = !sameApplication(frontmost_, app);
        if (changed) frontmost_ = app;
    }
    if (changed) ActivationObservers::post(observers_, mainQueue_);
}

AppRef X11Workspace::frontmostApplication() const {
    std::lock_guard lock(mutex_);
    return frontmost_;
}

std::unique_ptr<Subscription> X11Workspace::observeActivations(std::function<void()> block) {
    return ActivationObservers::subscribe(observers_, std::move(block));
}

PointerTarget X11Workspace::pointerTarget() const {
    auto* c = connection_.raw();
    PointerTarget target;
    XcbReply<xcb_query_pointer_reply_t> p{
        xcb_query_pointer_reply(c, xcb_query_pointer(c, connection_.root()), nullptr)};
    if (!p) return target;
    target.location = {static_cast<double>(p->root_x), static_cast<double>(p->root_y)};
    if (!p->same_screen || p->child == XCB_NONE) return target;
    target.topLevel = p->child;
    target.app = applicationOfWindow(p->child);
    if (target.app) target.pid = target.app->processIdentifier;
    return target;
}

const X11Workspace::CacheEntry* X11Workspace::cached(xcb_window_t window) const {
    const auto it = cache_.find(window);
    if (it == cache_.end()) return nullptr;
    // The clock is read only for the rare windows that have no application.
    if (!it->second.app && std::chrono::steady_clock::now() >= it->second.expires) return nullptr;
    return &it->second;
}

AppRef X11Workspace::cachedApplication(xcb_window_t window) const {
    std::lock_guard lock(mutex_);
    const auto* entry = cached(window);
    return entry ? entry->app : nullptr;
}

AppRef X11Workspace::applicationOfWindow(xcb_window_t window) const {
    {
        std::lock_guard lock(mutex_);
        if (const auto* entry = cached(window)) return entry->app;
    }
    // Resolve without the lock: the round trips must not hold up the event thread.
    const auto client = findClient(window);
    const auto facts = fetchFacts(client.value_or(window));
    std::lock_guard lock(mutex_);
    if (!client && facts.pid <= 0) {
        // No client and no owner we can name (a bare override-redirect window,
        // or a frame not yet given its client): remembered only briefly, so
        // the wheel over it does not search the tree on every event.
        if (cache_.size() >= options_.cacheLimit) cache_.clear();
        cache_[window] = CacheEntry{window, nullptr, std::chrono::steady_clock::now() + options_.negativeLifetime};
        return nullptr;
    }
    AppRef app;
    const auto known = facts.pid > 0 ? byPid_.find(facts.pid) : byPid_.end();
    if (!client && known != byPid_.end()) {
        // A menu or tooltip of a process we know: its application.
        app = known->second;
    } else {
        auto resolved = std::make_shared<const RunningApplication>(resolver_->application(facts));
        // Keep one object per application, so callers can compare references.
        app = known != byPid_.end() && sameApplication(known->second, resolved) ? known->second : resolved;
        if (facts.pid > 0 && known == byPid_.end()) byPid_.emplace(facts.pid, app);
    }
    if (cache_.size() >= options_.cacheLimit) cache_.clear();
    cache_[window] = CacheEntry{client.value_or(window), app};
    if (client && *client != window) cache_[*client] = CacheEntry{*client, app};
    return app;
}

std::optional<xcb_window_t> X11Workspace::findClient(xcb_window_t topLevel) const {
    auto* c = connection_.raw();
    std::vector<xcb_window_t> level{topLevel};
    std::size_t searched = 0;
    for (int depth = 0; depth < kMaxClientDepth && !level.empty(); ++depth) {
        // One batch of requests per level: the round trips, not the windows, are the cost.
        std::vector<xcb_get_property_cookie_t> states;
        for (const auto w : level)
            states.push_back(xcb_get_property(c, 0, w, connection_.wmState(), XCB_GET_PROPERTY_TYPE_ANY, 0, 0));
        std::vector<xcb_query_tree_cookie_t> trees;
        for (const auto w : level) trees.push_back(xcb_query_tree(c, w));
        std::optional<xcb_window_t> found;
        for (std::size_t i = 0; i < level.size(); ++i) {
            XcbReply<xcb_get_property_reply_t> r{xcb_get_property_reply(c, states[i], nullptr)};
            if (!found && r && r->type != XCB_NONE) found = level[i];
        }
        std::vector<xcb_window_t> next;
        for (auto& cookie : trees) {
            XcbReply<xcb_query_tree_reply_t> t{xcb_query_tree_reply(c, cookie, nullptr)};
            if (found || !t) continue;
            const auto* children = xcb_query_tree_children(t.get());
            const auto n = static_cast<std::size_t>(xcb_query_tree_children_length(t.get()));
            // Topmost first: a frame's client is usually its last child.
            for (std::size_t k = n; k-- > 0 && searched < kMaxSearchedWindows; ++searched) next.push_back(children[k]);
        }
        if (found) return found;
        level = std::move(next);
    }
    return std::nullopt;
}

WindowFacts X11Workspace::fetchFacts(xcb_window_t window) const {
    auto* c = connection_.raw();
    const auto classCookie = xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 512);
    const auto pidCookie = xcb_get_property(c, 0, window, connection_.ewmh()->_NET_WM_PID, XCB_ATOM_CARDINAL, 0, 1);
    xcb_res_query_client_ids_cookie_t resCookie{};
    if (hasXRes_) {
        xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        resCookie = xcb_res_query_client_ids(c, 1, &spec);
    }
    WindowFacts facts;
    if (XcbReply<xcb_get_property_reply_t> r{xcb_get_property_reply(c, classCookie, nullptr)}) readWmClass(r.get(), facts);
    if (XcbReply<xcb_get_property_reply_t> r{xcb_get_property_reply(c, pidCookie, nullptr)})
        facts.pid = readWmPid(r.get()).value_or(0);
    if (hasXRes_) {
        if (XcbReply<xcb_res_query_client_ids_reply_t> r{xcb_res_query_client_ids_reply(c, resCookie, nullptr)}) {
            for (auto it = xcb_res_query_client_ids_ids_iterator(r.get()); it.rem; xcb_res_client_id_value_next(&it)) {
                // The length counts bytes: one CARD32 pid.
                if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) && it.data->length >= 4) {
                    facts.pid = static_cast<ProcessID>(*xcb_res_client_id_value_value(it.data));
                    break;
                }
            }
        }
    }
    return facts;
}

std::vector<xcb_window_t> X11Workspace::clientWindows() const {
    auto* ewmh = connection_.ewmh();
    xcb_ewmh_get_windows_reply_t list{};
    if (xcb_ewmh_get_client_list_reply(ewmh, xcb_ewmh_get_client_list(ewmh, 0), &list, nullptr)) {
        std::vector<xcb_window_t> out;
        for (std::uint32_t i = 0; i < list.windows_len; ++i) out.push_back(list.windows[i]);
        xcb_ewmh_get_windows_reply_wipe(&list);
        if (!out.empty()) return out;
    }
    // No window manager publishes a list: walk the root's children.
    auto* c = connection_.raw();
    std::vector<xcb_window_t> out;
    XcbReply<xcb_query_tree_reply_t> tree{xcb_query_tree_reply(c, xcb_query_tree(c, connection_.root()), nullptr)};
    if (!tree) return out;
    const auto* children = xcb_query_tree_children(tree.get());
    const auto n = xcb_query_tree_children_length(tree.get());
    for (int i = 0; i < n; ++i)
        if (const auto client = findClient(children[i])) out.push_back(*client);
    return out;
}

std::vector<AppRef> X11Workspace::runningApplications() const {
    std::vector<AppRef> apps;
    std::set<const RunningApplication*> seen;
    for (const auto window : clientWindows()) {
        const auto app = applicationOfWindow(window);
        if (app && seen.insert(app.get()).second) apps.push_back(app);
    }
    return apps;
}

AppRef X11Workspace::applicationWithProcessIdentifier(ProcessID pid) const {
    if (pid <= 0) return nullptr;
    const auto lookup = [&]() -> AppRef {
        std::lock_guard lock(mutex_);
        const auto it = byPid_.find(pid);
        return it == byPid_.end() ? nullptr : it->second;
    };
    if (auto app = lookup()) {
        if (resolver_->proc().exists(pid)) return app;
        std::lock_guard lock(mutex_);
        byPid_.erase(pid);  // the process ended; the number may come back as another one
    }
    runningApplications();  // learns the processes of windows not seen yet
    if (auto app = lookup()) return app;
    if (!resolver_->proc().exists(pid)) return nullptr;
    // A process without windows of its own, such as a helper that owns a popup.
    auto app = std::make_shared<const RunningApplication>(resolver_->application(WindowFacts{pid, {}, {}}));
    std::lock_guard lock(mutex_);
    return byPid_.emplace(pid, std::move(app)).first->second;
}

bool X11Workspace::onScreenWindows(std::vector<WindowInfo>& out) const {
    out.clear();
    auto* c = connection_.raw();
    auto* ewmh = connection_.ewmh();
    const auto windows = clientWindows();
    std::vector<xcb_get_window_attributes_cookie_t> attributes;
    std::vector<xcb_get_property_cookie_t> netNames, wmNames;
    for (const auto w : windows) {
        attributes.push_back(xcb_get_window_attributes(c, w));
        netNames.push_back(xcb_ewmh_get_wm_name(ewmh, w));
        wmNames.push_back(xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024));
    }
    for (std::size_t i = 0; i < windows.size(); ++i) {
        XcbReply<xcb_get_window_attributes_reply_t> a{xcb_get_window_attributes_reply(c, attributes[i], nullptr)};
        std::optional<std::string> name;
        xcb_ewmh_get_utf8_strings_reply_t utf8{};
        if (xcb_ewmh_get_wm_name_reply(ewmh, netNames[i], &utf8, nullptr)) {
            name = std::string(utf8.strings, utf8.strings_len);
            xcb_ewmh_get_utf8_strings_reply_wipe(&utf8);
        }
        XcbReply<xcb_get_property_reply_t> legacy{xcb_get_property_reply(c, wmNames[i], nullptr)};
        if (!name && legacy && legacy->type != XCB_NONE) name = propertyString(legacy.get());
        if (a && a->map_state == XCB_MAP_STATE_VIEWABLE) out.push_back(WindowInfo{true, std::move(name)});
    }
    return !connection_.hasError();
}

}  // namespace gm::platform::linux_desktop
