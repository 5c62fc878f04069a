#pragma once
// The user notification centre, for the updater's reminders: one
// notification per request identifier, delivered at once, removable.
#include <string>

namespace gm::update::macos {

// Asks for badge, sound and alert (options 7); the answer is not needed.
void requestNotificationAuthorization();
void postNotification(const std::string& identifier, const std::string& title, const std::string& body);
void removeDeliveredNotifications(const std::string& identifier);

}  // namespace gm::update::macos
