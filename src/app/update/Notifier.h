#pragma once
// Desktop notifications as the updater's reminders need them: one notification per request
// identifier (a new one replaces the old), removable, and a way to hear about clicks.
#include <QObject>
#include <QString>
#include <memory>

namespace gm::update {

class Notifier : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Makes sure notifications can be shown; the answer does not matter to anyone.
    virtual void requestAuthorization() = 0;
    virtual void post(const QString& requestId, const QString& title, const QString& body) = 0;
    virtual void removeDelivered(const QString& requestId) = 0;

signals:
    // The user clicked the notification posted under requestId. activationToken: what lets
    // the window shown in answer take the focus on Wayland (empty when the server gave none).
    void activated(const QString& requestId, const QString& activationToken);
};

// The desktop's own notifications (per platform: linux/, macos/).
std::unique_ptr<Notifier> makeSystemNotifier();

}  // namespace gm::update
