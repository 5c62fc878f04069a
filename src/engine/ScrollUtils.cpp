#include "engine/ScrollUtils.h"

#include <limits>

namespace gm::engine {

namespace {

const std::optional<std::string>& bundleIdOf(const platform::AppRef& app) {
    static const std::optional<std::string> none;
    return app ? app->bundleIdentifier : none;
}

platform::ProcessID toProcessID(std::int64_t value) {
    // Out-of-range values cannot name a process; map them to the "no application" pid.
    if (value < std::numeric_limits<platform::ProcessID>::min() || value > std::numeric_limits<platform::ProcessID>::max())
        return 1;
    return static_cast<platform::ProcessID>(value);
}

}  // namespace

ScrollUtils::ScrollUtils(const platform::Workspace& workspace, const platform::Clock& clock, platform::Logger& logger)
    : workspace_(workspace), clock_(clock) {
    logger.info("Module initialized: ScrollUtils");
}

platform::AppRef ScrollUtils::targetApplication(const platform::Event& event) {
    const platform::ProcessID pid = toProcessID(event.integerValue(platform::field::targetProcessID));
    std::lock_guard lock(mutex_);
    if (pid == 1) return nullptr;
    lastEventTargetPID = currEventTargetPID;
    currEventTargetPID = pid;
    if (lastEventTargetPID != pid) cachedRunningApplication = workspace_.applicationWithProcessIdentifier(pid);
    return cachedRunningApplication;
}

bool ScrollUtils::isLaunchpadActive(const platform::AppRef& app) {
    if (!app) return false;
    std::lock_guard lock(mutex_);
    // Ticks aimed at the Dock process are never smoothed. That answer is not
    // remembered: hovering the Dock says nothing about whether Launchpad is
    // showing, and caching it would leave the next second of ticks over any
    // other application unsmoothed.
    if (app->executablePath && *app->executablePath == kDockExecutable) return true;
    const double now = clock_.wallTime();
    if (now - launchpadLastDetectTime <= 1.0) return launchpadActiveCache;
    // A list that cannot be had, or entries of an unexpected shape, count as "no Launchpad".
    if (workspace_.onScreenWindows(windows_)) {
        for (const auto& window : windows_)
            if (window.isDictionary && window.name && *window.name == kLaunchpadWindowName) {
                launchpadActiveCache = true;
                return true;
            }
    }
    launchpadActiveCache = false;
    launchpadLastDetectTime = now;
    return false;
}

ActiveApp::ActiveApp(platform::Workspace& workspace) : workspace_(workspace) {
    currentApp = workspace_.frontmostApplication();
    // The subscription dies with this object, so the handler never outlives it.
    observer = workspace_.observeActivations([this] { activated(); });
}

void ActiveApp::activated() {
    platform::AppRef frontmost = workspace_.frontmostApplication();
    if (!frontmost) return;
    std::lock_guard lock(mutex_);
    if (bundleIdOf(frontmost) == bundleIdOf(currentApp)) return;
    previousApp = currentApp;
    currentApp = frontmost;
}

platform::AppRef ActiveApp::activeApp() const {
    std::lock_guard lock(mutex_);
    if (bundleIdOf(currentApp) == workspace_.mainBundleIdentifier()) return previousApp;
    return currentApp;
}

}  // namespace gm::engine
