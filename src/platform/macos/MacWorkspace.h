#pragma once
// Running applications from NSWorkspace and NSRunningApplication, the
// on-screen window list from Quartz Window Services, and the main bundle's
// identifier.
#include "platform/Services.h"

namespace gm::platform::macos {

class MacWorkspace final : public Workspace {
public:
    AppRef applicationWithProcessIdentifier(ProcessID pid) const override;
    AppRef applicationWithBundleIdentifier(std::string_view bundleIdentifier) const override;
    std::vector<AppRef> runningApplications() const override;
    AppRef frontmostApplication() const override;
    // The workspace posts activations on the main thread, where the shell's menu reads them.
    std::unique_ptr<Subscription> observeActivations(std::function<void()> block) override;
    bool onScreenWindows(std::vector<WindowInfo>& out) const override;
    std::optional<std::string> mainBundleIdentifier() const override;
};

// The login session becoming active or being switched away from (fast user
// switching), on the main thread, for as long as the observer lives.
class SessionObserver {
public:
    SessionObserver(std::function<void()> becameActive, std::function<void()> resignedActive);
    ~SessionObserver();
    SessionObserver(const SessionObserver&) = delete;
    SessionObserver& operator=(const SessionObserver&) = delete;

private:
    struct Tokens;
    std::unique_ptr<Tokens> tokens_;
};

}  // namespace gm::platform::macos
