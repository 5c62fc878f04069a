// FreedesktopNotifier against a stand-in notification server on a private session bus
// (the test runs under dbus-run-session), so the calls' D-Bus signatures are checked for real.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>
#include <QVariantMap>

#include "app/update/linux/FreedesktopNotifier.h"

namespace gm::update {
namespace {

const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kName = QStringLiteral("org.freedesktop.Notifications");
const QString kId = QStringLiteral("UpdateCheck");

class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        QString app;
        uint replaces;
        QString summary, body;
        QStringList actions;
    };
    explicit FakeNotificationServer(QDBusConnection bus) : bus_(bus) {}

    // As servers since version 1.2 of the protocol do, a click first hands over an activation token.
    void invoke(uint id, const QString& action, const QString& token = {}) {
        auto send = [&](const char* name, const QString& text) {
            bus_.send(QDBusMessage::createSignal(kPath, kName, QString::fromLatin1(name)) << id << text);
        };
        if (!token.isEmpty()) send("ActivationToken", token);
        send("ActionInvoked", action);
    }

    std::vector<Shown> shown;
    std::vector<uint> closed;
    int capabilityQueries = 0;

public slots:
    uint Notify(const QString& app, uint replaces, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap&, int) {
        shown.push_back({app, replaces, summary, body, actions});
        return replaces != 0 ? replaces : nextId_++;
    }
    void CloseNotification(uint id) { closed.push_back(id); }
    QStringList GetCapabilities() {
        ++capabilityQueries;
        return {QStringLiteral("body"), QStringLiteral("actions")};
    }

private:
    QDBusConnection bus_;
    uint nextId_ = 7;
};

class NotifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.isConnected()) << "run under dbus-run-session";
        ASSERT_TRUE(bus.registerObject(kPath, &server, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(bus.registerService(kName));
    }
    void TearDown() override {
        bus.unregisterService(kName);
        bus.unregisterObject(kPath);
    }
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-server"));
    FakeNotificationServer server{bus};
};

// One notification per request: posted, replaced, closed (even before the server has answered),
// and its clicks reported by request.
TEST_F(NotifierTest, PostsReplacesClosesAndReportsClicksOfOneNotificationPerRequest) {
    FreedesktopNotifier notifier;
    notifier.requestAuthorization();
    notifier.post(kId, "A new update is available", "Version 1.3 is now available");
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.shown.size() == 1 && server.capabilityQueries == 1; }));
    const auto shown = server.shown[0];
    EXPECT_EQ(QStringList({shown.app, shown.summary, shown.body}),
              QStringList({"Glidemark", "A new update is available", "Version 1.3 is now available"}));
    EXPECT_TRUE(shown.replaces == 0U && shown.actions.contains("default"));

    ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.hasDelivered(kId); }));  // learnt id 7
    notifier.post(kId, "A new update is available", "Version 1.4 is now available");
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.shown.size() == 2; }));
    EXPECT_EQ(server.shown[1].replaces, 7U) << "a new request with the same identifier replaces the old";
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.hasDelivered(kId); }));
    notifier.removeDelivered(kId);
    notifier.post("Other", "t", "b");
    notifier.removeDelivered("Other");  // its id (8) is not known yet
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.closed.size() == 2; }));
    EXPECT_EQ(server.closed, (std::vector<uint>{7U, 8U}));

    QSignalSpy activated(&notifier, &Notifier::activated);
    notifier.post(kId, "t", "b");
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.hasDelivered(kId); }));  // id 9
    server.invoke(99, "default");  // somebody else's notification
    server.invoke(9, "other");
    server.invoke(9, "default", "wayland-token-3");
    ASSERT_TRUE(activated.wait(1000));
    QTest::qWait(20);  // room for a wrong second report to arrive
    EXPECT_EQ(activated, (QList<QVariantList>{{kId, "wayland-token-3"}}));
}

}  // namespace
}  // namespace gm::update

#include "NotifierTest.moc"
