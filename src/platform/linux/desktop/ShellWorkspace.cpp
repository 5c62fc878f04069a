#include "platform/linux/desktop/ShellWorkspace.h"

#include <set>

namespace gm::platform::linux_desktop {

ShellWorkspace::ShellWorkspace(ShellWindows& shell, DispatchQueue& mainQueue,
                               std::shared_ptr<const AppResolver> resolver,
                               std::optional<std::string> mainBundleIdentifier)
    : shell_(shell), mainQueue_(mainQueue), mainBundleIdentifier_(std::move(mainBundleIdentifier)),
      apps_(std::move(resolver)) {
    shell_.setFocusCallback([this] { focusReported(); });
    // Where we start from is no activation; a report since the line above
    // has set it already.
    const auto focused = shell_.focusedWindow();
    AppRef app = focused ? apps_.application(*focused) : nullptr;
    std::lock_guard lock(frontMutex_);
    if (!frontmost_) frontmost_ = std::move(app);
}

ShellWorkspace::~ShellWorkspace() { shell_.setFocusCallback(nullptr); }

void ShellWorkspace::focusReported() {
    const auto focused = shell_.focusedWindow();
    AppRef app = focused ? apps_.application(*focused) : nullptr;
    {
        std::lock_guard lock(frontMutex_);
        // Another window of the same application is no activation.
        const bool same = app && frontmost_ ? app->processIdentifier == frontmost_->processIdentifier &&
                                                  app->bundleIdentifier == frontmost_->bundleIdentifier
                                            : app == frontmost_;
        if (same) return;
        frontmost_ = std::move(app);
    }
    ActivationObservers::post(observers_, mainQueue_);
}

AppRef ShellWorkspace::frontmostApplication() const {
    std::lock_guard lock(frontMutex_);
    return frontmost_;
}

std::vector<AppRef> ShellWorkspace::runningApplications() const {
    std::vector<AppRef> apps;
    std::set<const RunningApplication*> seen;
    for (const auto& w : shell_.windows()) {
        auto app = apps_.application(w);
        if (seen.insert(app.get()).second) apps.push_back(std::move(app));
    }
    return apps;
}

AppRef ShellWorkspace::applicationWithProcessIdentifier(ProcessID pid) const {
    if (pid <= 0) return nullptr;
    // The window under the pointer may be reported before the list that holds it.
    for (const auto& w : {shell_.pointerWindow(), shell_.focusedWindow()})
        if (w && w->pid == pid) return apps_.application(*w);
    for (const auto& w : shell_.windows())
        if (w.pid == pid) return apps_.application(w);
    return nullptr;
}

std::unique_ptr<Subscription> ShellWorkspace::observeActivations(std::function<void()> block) {
    return ActivationObservers::subscribe(observers_, std::move(block));
}

}  // namespace gm::platform::linux_desktop
