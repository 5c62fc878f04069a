// The display clock that paces the poster: one display link bound to the
// display where the latest smoothed tick happened.
#include "engine/ScrollPosterCV.h"

namespace gm::engine {

std::optional<platform::DisplayID> displayIDForEvent(const platform::Event& event, const platform::Displays& displays,
                                                     std::vector<platform::Screen>& scratch) {
    const platform::Point location = event.location();
    displays.screens(scratch);
    for (const auto& screen : scratch)
        if (screen.frame.contains(location)) return screen.displayID;  // the walk stops at the first match
    return std::nullopt;
}

void ScrollPosterCV::createDisplayLink(platform::DisplayID displayID) {
    std::shared_ptr<platform::DisplayLink> old;
    {
        std::lock_guard lock(posterMutex_);
        old = std::move(poster_);
    }
    if (old) old->stop();
    old.reset();
    currentDisplayID_ = displayID;
    std::shared_ptr<platform::DisplayLink> created = platform_.displays().createDisplayLink(displayID);
    if (!created) return;
    created->setOutputCallback(&ScrollPosterCV::displayLinkCallback, this);
    {
        std::lock_guard lock(posterMutex_);
        poster_ = std::move(created);
    }
    if (logging_) platform_.logger().info("Created CVDisplayLink for display " + std::to_string(displayID));
}

void ScrollPosterCV::displayLinkCallback(void* userInfo) {
    auto* poster = static_cast<ScrollPosterCV*>(userInfo);
    poster->stateQ->async([poster] { poster->processing(); });
}

}  // namespace gm::engine
