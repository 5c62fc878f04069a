#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Services.h"

namespace gm::platform::sim {

// Running applications, the frontmost one and the on-screen window list, all
// set by the test. It counts the questions it is asked, so tests can check
// that callers cache what they should.
class SimWorkspace final : public Workspace {
public:
    explicit SimWorkspace(DispatchQueue& mainQueue);

    AppRef applicationWithProcessIdentifier(ProcessID pid) const override;
    AppRef applicationWithBundleIdentifier(std::string_view bundleIdentifier) const override;
    std::vector<AppRef> runningApplications() const override;
    AppRef frontmostApplication() const override;
    std::unique_ptr<Subscription> observeActivations(std::function<void()> block) override;
    bool onScreenWindows(std::vector<WindowInfo>& out) const override;
    std::optional<std::string> mainBundleIdentifier() const override { return mainBundleIdentifier_; }

    // An application starts running. A pid that runs already is replaced, as a new launch.
    AppRef launch(RunningApplication app);
    void quit(ProcessID pid);
    // Makes the application frontmost and tells the observers on the main queue.
    void activate(ProcessID pid);
    void addWindow(std::optional<std::string> name);
    void addMalformedWindow();
    // Removes one on-screen window of that name; false when there is none.
    bool removeWindow(const std::string& name);
    void setWindowListAvailable(bool available) { windowListAvailable_ = available; }
    void setMainBundleIdentifier(std::optional<std::string> id) { mainBundleIdentifier_ = std::move(id); }

    int pidLookups() const { return pidLookups_; }
    int bundleLookups() const { return bundleLookups_; }
    int windowListQueries() const { return windowListQueries_; }

private:
    class ObserverSubscription;

    DispatchQueue& mainQueue_;
    std::vector<AppRef> apps_;  // launch order
    AppRef frontmost_;
    std::vector<WindowInfo> windows_;
    bool windowListAvailable_ = true;
    std::optional<std::string> mainBundleIdentifier_{"com.Pellmar.Glidemark"};
    std::shared_ptr<std::map<std::uint64_t, std::function<void()>>> observers_;
    std::uint64_t nextObserver_ = 1;
    mutable int pidLookups_ = 0;
    mutable int bundleLookups_ = 0;
    mutable int windowListQueries_ = 0;
};

}  // namespace gm::platform::sim
