#include "platform/linux/desktop/WaylandWorkspace.h"

#include <cstdlib>
#include <set>

namespace gm::platform::linux_desktop {
namespace {

bool isCompositorWeKnow(DesktopKind kind) { return kind == DesktopKind::Sway || kind == DesktopKind::Hyprland; }

bool sameApplication(const AppRef& a, const AppRef& b) {
    if (!a || !b) return a == b;
    return a->processIdentifier == b->processIdentifier && a->bundleIdentifier == b->bundleIdentifier;
}

}  // namespace

std::string compositorSocketPath(DesktopKind kind) {
    if (kind == DesktopKind::Sway) {
        const char* socket = std::getenv("SWAYSOCK");
        return socket ? socket : "";
    }
    if (kind == DesktopKind::Hyprland) return hyprlandSocketPath();
    return {};
}

WaylandWorkspace::WaylandWorkspace(DesktopKind kind, DispatchQueue& mainQueue,
                                   std::shared_ptr<const AppResolver> resolver, Options options)
    : kind_(kind), mainQueue_(mainQueue), options_(std::move(options)), apps_(std::move(resolver)),
      observers_(std::make_shared<ActivationObservers>()) {
    if (options_.socketPath.empty()) options_.socketPath = compositorSocketPath(kind_);
}

WaylandWorkspace::~WaylandWorkspace() {
    {
        std::lock_guard lock(threadMutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    // A request in flight ends within the socket's deadline.
    if (poller_.joinable()) poller_.join();
}

std::vector<CompositorWindow> WaylandWorkspace::windows() const {
    std::lock_guard lock(listMutex_);
    const auto now = std::chrono::steady_clock::now();
    if (haveList_ && now - listFetched_ < options_.listLifetime) return windows_;
    windows_.clear();
    if (kind_ == DesktopKind::Sway) {
        if (const auto tree = swayRequest(options_.socketPath, sway::kGetTree, {})) windows_ = sway::windows(*tree);
    } else if (kind_ == DesktopKind::Hyprland) {
        if (const auto reply = hyprlandRequest(options_.socketPath, "j/clients")) {
            for (auto& w : hyprland::clients(*reply))
                if (w.pid > 0 && !w.appId.empty()) windows_.push_back(std::move(w));
        }
    }
    // A failed request is remembered too: a compositor that is gone should
    // not be asked again for every wheel event.
    listFetched_ = now;
    haveList_ = true;
    return windows_;
}

bool WaylandWorkspace::focusedWindow(std::optional<CompositorWindow>& out) const {
    out.reset();
    if (kind_ == DesktopKind::Sway) {
        const auto tree = swayRequest(options_.socketPath, sway::kGetTree, {});
        if (!tree) return false;
        out = sway::focusedWindow(*tree);
    } else if (kind_ == DesktopKind::Hyprland) {
        const auto reply = hyprlandRequest(options_.socketPath, "j/activewindow");
        if (!reply) return false;
        out = hyprland::activeWindow(*reply);
    } else {
        return false;
    }
    // A layer surface or a window without a process names no application.
    if (out && (out->pid <= 0 || out->appId.empty())) out.reset();
    return true;
}

std::vector<AppRef> WaylandWorkspace::runningApplications() const {
    std::vector<AppRef> apps;
    std::set<const RunningApplication*> seen;
    for (const auto& w : windows()) {
        auto app = apps_.application(w);
        if (seen.insert(app.get()).second) apps.push_back(std::move(app));
    }
    return apps;
}

AppRef WaylandWorkspace::applicationWithProcessIdentifier(ProcessID pid) const {
    if (pid <= 0) return nullptr;
    for (const auto& w : windows())
        if (w.pid == pid) return apps_.application(w);
    return nullptr;
}

void WaylandWorkspace::refreshFrontmost() const {
    bool changed = false;
    {
        // Held across the request: two answers applied out of order would
        // announce a change back and forth.
        std::lock_guard lock(frontMutex_);
        std::optional<CompositorWindow> focused;
        const bool answered = focusedWindow(focused);
        frontFetched_ = std::chrono::steady_clock::now();
        // Unreachable compositor: keep what we knew rather than announce "nothing".
        if (!answered) return;
        AppRef app = focused ? apps_.application(*focused) : nullptr;
        // The first answer is where we start from, not a change.
        changed = haveFront_ && !sameApplication(frontmost_, app);
        if (!haveFront_ || changed) frontmost_ = std::move(app);
        haveFront_ = true;
    }
    if (changed) ActivationObservers::post(observers_, mainQueue_);
}

AppRef WaylandWorkspace::frontmostApplication() const {
    if (!isCompositorWeKnow(kind_)) return nullptr;
    bool stale = false;
    {
        std::lock_guard lock(frontMutex_);
        stale = !haveFront_ || std::chrono::steady_clock::now() - frontFetched_ >= options_.listLifetime;
    }
    if (stale) refreshFrontmost();
    std::lock_guard lock(frontMutex_);
    return frontmost_;
}

std::unique_ptr<Subscription> WaylandWorkspace::observeActivations(std::function<void()> block) {
    auto subscription = ActivationObservers::subscribe(observers_, std::move(block));
    std::lock_guard lock(threadMutex_);
    if (!poller_.joinable() && !stopping_ && isCompositorWeKnow(kind_)) poller_ = std::thread([this] { poll(); });
    return subscription;
}

void WaylandWorkspace::poll() {
    std::unique_lock lock(threadMutex_);
    while (!stopping_) {
        lock.unlock();
        refreshFrontmost();
        lock.lock();
        wake_.wait_for(lock, options_.pollInterval, [this] { return stopping_; });
    }
}

WaylandScreens::WaylandScreens(DesktopKind kind, std::string socketPath, std::chrono::milliseconds lifetime)
    : kind_(kind), socketPath_(socketPath.empty() ? compositorSocketPath(kind) : std::move(socketPath)),
      lifetime_(lifetime) {}

void WaylandScreens::screens(std::vector<Screen>& out) const {
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (!haveAnswer_ || now - fetched_ >= lifetime_) {
        screens_.clear();
        if (kind_ == DesktopKind::Sway) {
            if (const auto reply = swayRequest(socketPath_, sway::kGetOutputs, {})) screens_ = sway::outputs(*reply);
        } else if (kind_ == DesktopKind::Hyprland) {
            if (const auto reply = hyprlandRequest(socketPath_, "j/monitors")) screens_ = hyprland::monitors(*reply);
        }
        fetched_ = now;
        haveAnswer_ = true;
    }
    out.assign(screens_.begin(), screens_.end());
}

}  // namespace gm::platform::linux_desktop
