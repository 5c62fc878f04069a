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

class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        QString app;
        uint replaces;
        QString summary;
        QString body;
        QStringList actions;
    };
    explicit FakeNotificationServer(QDBusConnection bus) : bus_(bus) {}

    // As servers since version 1.2 of the protocol do, a click first hands over an activation token.
    void invoke(uint id, const QString& action, const QString& token = {}) {
        auto send = [&](const char* name, const QString& text) {
            auto signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                     QStringLiteral("org.freedesktop.Notifications"),
                                                     QString::fromLatin1(name));
            signal << id << text;
            bus_.send(signal);
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
        ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                       QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }
    void TearDown() override {
        bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    }
    // Lets the bus carry calls both ways.
    template <typename Done>
    bool until(Done done) {
        for (int i = 0; i < 200 && !done(); ++i) QTest::qWait(5);
        return done();
    }

    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-server"));
    FakeNotificationServer server{bus};
};

TEST_F(NotifierTest, PostsReplacesAndClosesOneNotificationPerRequest) {
    FreedesktopNotifier notifier;
    notifier.requestAuthorization();
    notifier.post(QStringLiteral("UpdateCheck"), QStringLiteral("A new update is available"),
                  QStringLiteral("Version 1.3 is now available"));
    ASSERT_TRUE(until([&] { return server.shown.size() == 1 && server.capabilityQueries == 1; }));
    EXPECT_EQ(server.shown[0].app, QStringLiteral("Glidemark"));
    EXPECT_EQ(server.shown[0].replaces, 0U);
    EXPECT_EQ(server.shown[0].summary, QStringLiteral("A new update is available"));
    EXPECT_EQ(server.shown[0].body, QStringLiteral("Version 1.3 is now available"));
    EXPECT_TRUE(server.shown[0].actions.contains(QStringLiteral("default")));

    ASSERT_TRUE(until([&] { return notifier.hasDelivered(QStringLiteral("UpdateCheck")); }));  // learnt id 7
    notifier.post(QStringLiteral("UpdateCheck"), QStringLiteral("A new update is available"),
                  QStringLiteral("Version 1.4 is now available"));
    ASSERT_TRUE(until([&] { return server.shown.size() == 2; }));
    EXPECT_EQ(server.shown[1].replaces, 7U) << "a new request with the same identifier replaces the old";

    ASSERT_TRUE(until([&] { return notifier.hasDelivered(QStringLiteral("UpdateCheck")); }));
    notifier.removeDelivered(QStringLiteral("UpdateCheck"));
    ASSERT_TRUE(until([&] { return !server.closed.empty(); }));
    EXPECT_EQ(server.closed, std::vector<uint>{7U});
}

TEST_F(NotifierTest, ARemovalBeforeTheServerAnswersStillClosesIt) {
    FreedesktopNotifier notifier;
    notifier.post(QStringLiteral("UpdateCheck"), QStringLiteral("t"), QStringLiteral("b"));
    notifier.removeDelivered(QStringLiteral("UpdateCheck"));  // the id is not known yet
    ASSERT_TRUE(until([&] { return !server.closed.empty(); }));
    EXPECT_EQ(server.closed, std::vector<uint>{7U});
}

TEST_F(NotifierTest, ClicksOnOurNotificationAreReportedByRequest) {
    FreedesktopNotifier notifier;
    QSignalSpy activated(&notifier, &Notifier::activated);
    notifier.post(QStringLiteral("UpdateCheck"), QStringLiteral("t"), QStringLiteral("b"));
    ASSERT_TRUE(until([&] { return notifier.hasDelivered(QStringLiteral("UpdateCheck")); }));
    server.invoke(99, QStringLiteral("default"));  // somebody else's notification
    server.invoke(7, QStringLiteral("other"));
    server.invoke(7, QStringLiteral("default"), QStringLiteral("wayland-token-3"));
    ASSERT_TRUE(activated.wait(1000));
    QTest::qWait(20);  // room for a wrong second report to arrive
    ASSERT_EQ(activated.size(), 1);
    EXPECT_EQ(activated[0][0].toString(), QStringLiteral("UpdateCheck"));
    EXPECT_EQ(activated[0][1].toString(), QStringLiteral("wayland-token-3"));
}

}  // namespace
}  // namespace gm::update

#include "NotifierTest.moc"
