#pragma once
// Which application the user is working in. Opening our own tray menu may
// make this program (or the panel) the frontmost one for a moment, so the
// tracker remembers the last application other than ourselves and answers
// with it while we are in front.
#include <memory>

#include "platform/Services.h"

namespace gm::app {

class FrontmostAppTracker {
public:
    FrontmostAppTracker(platform::Workspace& workspace, platform::ProcessID ownProcess);

    // The application the user is working in; null when there is none.
    platform::AppRef current();

private:
    void remember(const platform::AppRef& app);

    platform::Workspace& workspace_;
    platform::ProcessID ownProcess_;
    platform::AppRef last_;
    std::unique_ptr<platform::Subscription> activations_;
};

}  // namespace gm::app
