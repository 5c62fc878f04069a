#pragma once
// Which application a scroll event is aimed at (the one under the pointer),
// and whether Launchpad is showing. Both run for every scroll event, so they
// cache: the workspace is asked only when the target process changes, and a
// window scan that found no Launchpad is trusted for a second.
#include <mutex>
#include <vector>

#include "platform/Log.h"
#include "platform/Services.h"

namespace gm::engine {

class ScrollUtils {
public:
    static constexpr const char* kDockExecutable = "/System/Library/CoreServices/Dock.app/Contents/MacOS/Dock";
    static constexpr const char* kLaunchpadWindowName = "LPSpringboard";

    ScrollUtils(const platform::Workspace& workspace, const platform::Clock& clock, platform::Logger& logger);

    // Also called from the poster's queue when an animation stops, hence the lock.
    platform::AppRef targetApplication(const platform::Event& event);
    bool isLaunchpadActive(const platform::AppRef& app);

    double previousScrollTargetProcessID = 0;
    double currentScrollTargetProcessID = 0;

private:
    const platform::Workspace& workspace_;
    const platform::Clock& clock_;
    std::mutex mutex_;
    platform::ProcessID lastEventTargetPID = 1;
    platform::ProcessID currEventTargetPID = 1;
    platform::AppRef cachedRunningApplication;
    bool launchpadActiveCache = false;
    double launchpadLastDetectTime = 0;
    std::vector<platform::WindowInfo> windows_;  // reused between scans
};

// The frontmost application as last observed, skipping this program itself,
// so the menu can refer to the application the user was working in.
class ActiveApp {
public:
    explicit ActiveApp(platform::Workspace& workspace);
    platform::AppRef activeApp() const;

private:
    void activated();

    platform::Workspace& workspace_;
    mutable std::mutex mutex_;
    platform::AppRef currentApp;
    platform::AppRef previousApp;
    std::unique_ptr<platform::Subscription> observer;
};

}  // namespace gm::engine
