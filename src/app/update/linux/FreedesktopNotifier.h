#pragma once
// Notifications through the desktop's org.freedesktop.Notifications service on the session bus.
// Without a bus or a notification server every call is a logged no-op.
#include <QHash>
#include <QSet>

#include "app/update/Notifier.h"

namespace gm::update {

class FreedesktopNotifier final : public Notifier {
    Q_OBJECT
public:
    explicit FreedesktopNotifier(QObject* parent = nullptr);

    void requestAuthorization() override;
    void post(const QString& requestId, const QString& title, const QString& body) override;
    void removeDelivered(const QString& requestId) override;
    // The server has shown the notification posted under requestId, and it is still up.
    bool hasDelivered(const QString& requestId) const { return delivered_.contains(requestId); }

private slots:
    void onActivationToken(uint id, const QString& token);
    void onActionInvoked(uint id, const QString& action);
    void onNotificationClosed(uint id, uint reason);

private:
    void close(uint id);
    bool connected_ = false;
    QHash<QString, uint> delivered_;   // request id -> server id
    QSet<QString> removeWhenDelivered_;  // removed before the server answered the post
    QHash<QString, int> pending_;        // posts still waiting for their server id
    QHash<QString, uint> closedWhilePending_;  // ids closed while a replacement was on its way
    QHash<uint, QString> activationTokens_;    // sent by the server just before the action it belongs to
};

}  // namespace gm::update
