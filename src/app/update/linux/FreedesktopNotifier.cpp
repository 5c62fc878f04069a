#include "app/update/linux/FreedesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "platform/Log.h"

namespace gm::update {
namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
}  // namespace

FreedesktopNotifier::FreedesktopNotifier(QObject* parent) : Notifier(parent) {
    auto bus = QDBusConnection::sessionBus();
    connected_ = bus.isConnected();
    if (!connected_) {
        platform::log().info("Notifications unavailable: no session bus");
        return;
    }
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActivationToken"), this,
                SLOT(onActivationToken(uint, QString)));
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                SLOT(onActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                SLOT(onNotificationClosed(uint, uint)));
}

void FreedesktopNotifier::requestAuthorization() {
    // The freedesktop service asks nobody for permission; asking for its capabilities merely
    // wakes a server that is started on demand, so the first reminder is not late.
    if (!connected_) return;
    QDBusConnection::sessionBus().asyncCall(
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities")));
}

void FreedesktopNotifier::post(const QString& requestId, const QString& title, const QString& body) {
    if (!connected_) return;
    auto call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("glidemark"));
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar{1}));
    // "default" is the action a click on the notification's body invokes.
    call << QStringLiteral("Glidemark") << delivered_.value(requestId, 0U) << QString() << title << body
         << QStringList{QStringLiteral("default"), QStringLiteral("Show Update")} << hints << -1;
    removeWhenDelivered_.remove(requestId);
    closedWhilePending_.remove(requestId);
    ++pending_[requestId];
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, requestId](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (--pending_[requestId] == 0) pending_.remove(requestId);
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            platform::log().info("Notification not shown: " + reply.error().message().toStdString());
            return;
        }
        delivered_.insert(requestId, reply.value());
        if (removeWhenDelivered_.contains(requestId) && !pending_.contains(requestId)) {
            removeWhenDelivered_.remove(requestId);
            const uint id = delivered_.take(requestId);
            // A replacement keeps the id it replaced; that id was closed after it was posted.
            if (closedWhilePending_.take(requestId) != id) close(id);
        }
    });
}

void FreedesktopNotifier::removeDelivered(const QString& requestId) {
    if (!connected_) return;
    const bool posting = pending_.contains(requestId);
    if (posting) removeWhenDelivered_.insert(requestId);
    if (delivered_.contains(requestId)) {
        const uint id = delivered_.take(requestId);
        close(id);
        if (posting) closedWhilePending_.insert(requestId, id);
    }
}

void FreedesktopNotifier::close(uint id) {
    auto call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"));
    call << id;
    QDBusConnection::sessionBus().asyncCall(call);
}

void FreedesktopNotifier::onActivationToken(uint id, const QString& token) {
    // Only for our own notifications, and one at a time: the action follows at once.
    for (auto it = delivered_.cbegin(); it != delivered_.cend(); ++it)
        if (it.value() == id) {
            activationTokens_ = {{id, token}};
            return;
        }
}

void FreedesktopNotifier::onActionInvoked(uint id, const QString& action) {
    const QString token = activationTokens_.take(id);
    if (action != QLatin1String("default")) return;
    for (auto it = delivered_.cbegin(); it != delivered_.cend(); ++it)
        if (it.value() == id) {
            emit activated(it.key(), token);
            return;
        }
}

void FreedesktopNotifier::onNotificationClosed(uint id, uint) {
    for (auto it = delivered_.begin(); it != delivered_.end(); ++it)
        if (it.value() == id) {
            delivered_.erase(it);
            return;
        }
}

std::unique_ptr<Notifier> makeSystemNotifier() { return std::make_unique<FreedesktopNotifier>(); }

}  // namespace gm::update
