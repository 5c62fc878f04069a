#include "platform/linux/desktop/PointerTargets.h"

namespace gm::platform::linux_desktop {
namespace {

class X11Targets final : public PointerTargets {
public:
    explicit X11Targets(const X11Workspace& workspace) : workspace_(workspace) {}
    PointerTarget current() override { return workspace_.pointerTarget(); }

private:
    const X11Workspace& workspace_;
};

class WaylandTargets final : public PointerTargets {
public:
    WaylandTargets(DesktopKind kind, std::shared_ptr<const AppResolver> resolver)
        : source_(kind), apps_(std::move(resolver)) {}
    PointerTarget current() override {
        const auto t = source_.target();
        PointerTarget out;
        if (t.location) out.location = *t.location;
        if (t.window) {
            out.app = apps_.application(*t.window);
            out.pid = t.window->pid;
        }
        return out;
    }

private:
    WaylandTargetSource source_;
    CompositorApplications apps_;
};

class ShellTargets final : public PointerTargets {
public:
    ShellTargets(const ShellWindows& shell, std::shared_ptr<const AppResolver> resolver)
        : shell_(shell), apps_(std::move(resolver)) {}
    PointerTarget current() override {
        PointerTarget out;
        if (const auto w = shell_.pointerWindow()) {
            out.app = apps_.application(*w);
            out.pid = w->pid;
        }
        return out;
    }

private:
    const ShellWindows& shell_;
    CompositorApplications apps_;
};

}  // namespace

AppRef CompositorApplications::application(const CompositorWindow& window) {
    const auto key = std::make_pair(window.pid, window.appId);
    {
        std::lock_guard lock(mutex_);
        if (const auto it = known_.find(key); it != known_.end()) return it->second;
    }
    auto app = std::make_shared<const RunningApplication>(resolver_->application(window.facts(), window.desktopId));
    std::lock_guard lock(mutex_);
    // Processes come and go; a long session should not keep every one of them.
    if (known_.size() >= 1024) known_.clear();
    return known_.emplace(key, std::move(app)).first->second;
}

std::unique_ptr<PointerTargets> PointerTargets::forX11(const X11Workspace& workspace) {
    return std::make_unique<X11Targets>(workspace);
}

std::unique_ptr<PointerTargets> PointerTargets::forWayland(DesktopKind kind, std::shared_ptr<const AppResolver> resolver) {
    return std::make_unique<WaylandTargets>(kind, std::move(resolver));
}

std::unique_ptr<PointerTargets> PointerTargets::forShell(const ShellWindows& shell,
                                                         std::shared_ptr<const AppResolver> resolver) {
    return std::make_unique<ShellTargets>(shell, std::move(resolver));
}

}  // namespace gm::platform::linux_desktop
