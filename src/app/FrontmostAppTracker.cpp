#include "app/FrontmostAppTracker.h"

namespace gm::app {

FrontmostAppTracker::FrontmostAppTracker(platform::Workspace& workspace, platform::ProcessID ownProcess)
    : workspace_(workspace), ownProcess_(ownProcess) {
    remember(workspace_.frontmostApplication());
    activations_ = workspace_.observeActivations([this] { remember(workspace_.frontmostApplication()); });
}

void FrontmostAppTracker::remember(const platform::AppRef& app) {
    if (app && app->processIdentifier != ownProcess_) last_ = app;
}

platform::AppRef FrontmostAppTracker::current() {
    platform::AppRef front = workspace_.frontmostApplication();
    if (front && front->processIdentifier == ownProcess_) return last_;
    remember(front);
    return front;
}

}  // namespace gm::app
