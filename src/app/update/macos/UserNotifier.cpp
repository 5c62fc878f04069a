#include "app/update/Notifier.h"

#include "app/update/macos/UserNotifications.h"

namespace gm::update {

namespace {

// The user notification centre. A click on a reminder is left to the system
// (it brings the program forward); the centre's delegate is not ours to take.
class UserNotifier final : public Notifier {
public:
    void requestAuthorization() override { macos::requestNotificationAuthorization(); }
    void post(const QString& requestId, const QString& title, const QString& body) override {
        macos::postNotification(requestId.toStdString(), title.toStdString(), body.toStdString());
    }
    void removeDelivered(const QString& requestId) override {
        macos::removeDeliveredNotifications(requestId.toStdString());
    }
};

}  // namespace

std::unique_ptr<Notifier> makeSystemNotifier() { return std::make_unique<UserNotifier>(); }

}  // namespace gm::update
