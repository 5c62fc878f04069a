#include "platform/sim/SimWorkspace.h"

#include <algorithm>


namespace gm::platform::sim {

class SimWorkspace::ObserverSubscription final : public Subscription {
public:
    ObserverSubscription(std::weak_ptr<std::map<std::uint64_t, std::function<void()>>> observers, std::uint64_t id)
        : observers_(std::move(observers)), id_(id) {}
    ~ObserverSubscription() override {
        if (auto map = observers_.lock()) map->erase(id_);
    }

private:
    std::weak_ptr<std::map<std::uint64_t, std::function<void()>>> observers_;
    std::uint64_t id_;
};

SimWorkspace::SimWorkspace(DispatchQueue& mainQueue)
    : mainQueue_(mainQueue),
      observers_(std::make_shared<std::map<std::uint64_t, std::function<void()>>>()) {}

AppRef SimWorkspace::applicationWithProcessIdentifier(ProcessID pid) const {
    ++pidLookups_;
    for (const auto& app : apps_)
        if (app->processIdentifier == pid) return app;
    return nullptr;
}

AppRef SimWorkspace::applicationWithBundleIdentifier(std::string_view bundleIdentifier) const {
    ++bundleLookups_;
    for (const auto& app : apps_)
        if (app->bundleIdentifier && *app->bundleIdentifier == bundleIdentifier) return app;
    return nullptr;
}

std::vector<AppRef> SimWorkspace::runningApplications() const { return apps_; }

AppRef SimWorkspace::frontmostApplication() const { return frontmost_; }

std::unique_ptr<Subscription> SimWorkspace::observeActivations(std::function<void()> block) {
    std::uint64_t id = nextObserver_++;
    (*observers_)[id] = std::move(block);
    return std::make_unique<ObserverSubscription>(observers_, id);
}

bool SimWorkspace::onScreenWindows(std::vector<WindowInfo>& out) const {
    ++windowListQueries_;
    if (!windowListAvailable_) return false;
    out = windows_;
    return true;
}

AppRef SimWorkspace::launch(RunningApplication app) {
    quit(app.processIdentifier);
    auto ref = std::make_shared<const RunningApplication>(std::move(app));
    apps_.push_back(ref);
    return ref;
}

void SimWorkspace::quit(ProcessID pid) {
    std::erase_if(apps_, [pid](const AppRef& a) { return a->processIdentifier == pid; });
    if (frontmost_ && frontmost_->processIdentifier == pid) frontmost_ = nullptr;
}

void SimWorkspace::activate(ProcessID pid) {
    AppRef app;
    for (const auto& a : apps_)
        if (a->processIdentifier == pid) app = a;
    if (!app) return;
    frontmost_ = app;
    std::weak_ptr<std::map<std::uint64_t, std::function<void()>>> weak = observers_;
    for (const auto& [id, block] : *observers_) {
        mainQueue_.async([weak, observerId = id] {
            auto map = weak.lock();
            if (!map) return;
            auto it = map->find(observerId);
            if (it != map->end()) it->second();
        });
    }
}

void SimWorkspace::addWindow(std::optional<std::string> name) { windows_.push_back({true, std::move(name)}); }

void SimWorkspace::addMalformedWindow() { windows_.push_back({false, std::nullopt}); }

bool SimWorkspace::removeWindow(const std::string& name) {
    auto it = std::find_if(windows_.begin(), windows_.end(),
                           [&](const WindowInfo& w) { return w.isDictionary && w.name == name; });
    if (it == windows_.end()) return false;
    windows_.erase(it);
    return true;
}

}  // namespace gm::platform::sim
