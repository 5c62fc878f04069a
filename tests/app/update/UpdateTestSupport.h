#pragma once
// Shared pieces of the update tests: feed documents, a loopback HTTP server, a hand-moved clock
// and timer, a notifier that records, a signing key, and a harness that builds the whole updater
// stack against the server.
#include <QDir>
#include <QHostAddress>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <sodium.h>
#include <vector>

#include "app/update/UpdateWindow.h"
#include "app/update/UpdaterManager.h"

namespace gm::update::test {

// An item of an update feed, and the feed document offering some.
struct FeedItem {
    QString version, displayVersion, url;
    qint64 length = 0;
    QByteArray signature;
    QString notes = QStringLiteral("<ul><li>Smoother.</li></ul>");
    QString notesUrl = QString();  // given: a link instead of the notes
};

inline QByteArray feed(const std::vector<FeedItem>& items) {
    QByteArray xml = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:gm="urn:glidemark:update:1"><channel><title>Glidemark</title>)";
    for (const auto& item : items) {
        xml += "<item><title>Glidemark " + item.version.toUtf8() + "</title>";
        if (!item.version.isEmpty()) xml += "<gm:version>" + item.version.toUtf8() + "</gm:version>";
        if (!item.displayVersion.isEmpty())
            xml += "<gm:displayVersion>" + item.displayVersion.toUtf8() + "</gm:displayVersion>";
        if (item.notesUrl.isEmpty())
            xml += "<description><![CDATA[" + item.notes.toUtf8() + "]]></description>";
        else
            xml += "<gm:releaseNotesUrl>" + item.notesUrl.toUtf8() + "</gm:releaseNotesUrl>";
        xml += "<enclosure url=\"" + item.url.toUtf8() + "\" length=\"" + QByteArray::number(item.length) +
               "\" type=\"application/octet-stream\"";
        if (!item.signature.isEmpty()) xml += " gm:signature=\"" + item.signature + "\"";
        xml += "/></item>";
    }
    return xml + "</channel></rss>";
}

// A tiny HTTP/1.0 server on 127.0.0.1 that serves canned answers, so update tests never
// leave the machine. One request per connection; the answer closes it.
struct Route {
    int status = 200;
    QByteArray body;
    bool neverAnswer = false;  // read the request, then stay silent
};

class LoopbackHttpServer : public QObject {
public:
    LoopbackHttpServer() {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                socket->setParent(this);
                QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            }
        });
    }

    void route(const QString& path, Route answer) { routes_.insert(path, std::move(answer)); }
    QUrl url(const QString& path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
    }
    int hits(const QString& path) const { return hits_.value(path); }

private:
    void serve(QTcpSocket* socket) {
        QByteArray& request = pending_[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n")) return;
        const QList<QByteArray> line = request.left(request.indexOf("\r\n")).split(' ');
        pending_.remove(socket);
        const QString path = line.size() > 1 ? QString::fromLatin1(line[1]) : QString();
        ++hits_[path];
        const Route answer = routes_.value(path, Route{404, "not found"});
        if (answer.neverAnswer) return;
        socket->write("HTTP/1.0 " + QByteArray::number(answer.status) + " Canned\r\nContent-Length: " +
                      QByteArray::number(answer.body.size()) + "\r\nConnection: close\r\n\r\n" + answer.body);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    QHash<QString, Route> routes_;
    QHash<QString, int> hits_;
    QHash<QTcpSocket*, QByteArray> pending_;
};

class FakeClock final : public UpdateClock {
public:
    QDateTime now() const override { return now_; }
    void advance(std::chrono::seconds by) { now_ = now_.addSecs(by.count()); }
    QDateTime now_ = QDateTime(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);
};

class FakeTimer final : public CheckTimer {
public:
    void start(std::chrono::milliseconds delay) override { active_ = true, delay_ = delay; }
    void stop() override { active_ = false; }
    bool isActive() const override { return active_; }
    void fire() {
        active_ = false;
        if (onTimeout) onTimeout();
    }
    bool active_ = false;
    std::chrono::milliseconds delay_{-1};
};

class FakeNotifier final : public Notifier {
public:
    void requestAuthorization() override { ++authorizationRequests; }
    void post(const QString& id, const QString& title, const QString& body) override {
        posted.push_back({id, title, body});
        shown.insert(id);
    }
    void removeDelivered(const QString& id) override { shown.remove(id); }
    void click(const QString& id) { emit activated(id, QString()); }
    int authorizationRequests = 0;
    std::vector<QStringList> posted;  // id, title, body
    QSet<QString> shown;
};

struct Keys {
    Keys() { EXPECT_TRUE(sodium_init() >= 0 && crypto_sign_keypair(publicKey, secretKey) == 0); }
    QByteArray publicBase64() const { return QByteArray(reinterpret_cast<const char*>(publicKey), sizeof publicKey).toBase64(); }
    QByteArray sign(const QByteArray& data) const {
        unsigned char signature[crypto_sign_BYTES];
        crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char*>(data.constData()),
                             static_cast<unsigned long long>(data.size()), secretKey);
        return QByteArray(reinterpret_cast<const char*>(signature), sizeof signature).toBase64();
    }
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secretKey[crypto_sign_SECRETKEYBYTES];
};

// The whole stack as the program builds it, pointed at a loopback server and temporary folders.
struct Harness {
    explicit Harness(const QString& configDir = {})
        : settingsPath((configDir.isEmpty() ? config.path() : configDir) + QStringLiteral("/glidemark/updater.ini")) {}

    // Serves `payload` at /Glidemark-<version>.tar.gz and a feed offering it at /feed.xml.
    FeedItem offer(const QString& version, const QByteArray& payload) {
        const QString path = QStringLiteral("/Glidemark-%1.tar.gz").arg(version);
        server.route(path, {200, payload});
        FeedItem item{version, version, server.url(path).toString(), payload.size(), keys.sign(payload)};
        server.route(QStringLiteral("/feed.xml"), {200, feed({item})});
        return item;
    }

    UpdaterManager& start(const QString& currentVersion = QStringLiteral("1.2"),
                          const std::function<void(UpdaterManager::Parts&)>& tweak = {}) {
        UpdaterManager::Parts parts;
        UpdaterOptions& o = parts.options;
        o.feedUrl = server.url(QStringLiteral("/feed.xml"));
        o.publicKeyBase64 = keys.publicBase64();
        o.currentVersion = currentVersion;
        o.settingsPath = settingsPath;
        o.downloadDirectory = downloads.path();
        o.transport = TransportPolicy::HttpsOrLoopbackHttp;
        o.feedTimeout = o.downloadStallTimeout = std::chrono::milliseconds(300);
        o.clock = clock;
        o.timer = timer;
        auto fake = std::make_unique<FakeNotifier>();
        notifier = fake.get();
        parts.notifier = std::move(fake);
        parts.openUrl = [this](const QUrl& url) { return opened.push_back(url), true; };
        parts.badgeDelay = std::chrono::milliseconds(10);
        if (tweak) tweak(parts);
        manager = std::make_unique<UpdaterManager>(std::move(parts));
        return *manager;
    }

    Updater& updater() { return manager->updater(); }
    UpdateWindow* window() { return manager->updaterController().userDriver().window(); }
    bool windowVisible() { return window() && window()->isVisible(); }

    // The window's visible button with this text, or nullptr.
    QPushButton* button(const QString& text) {
        for (auto* b : window() ? window()->findChildren<QPushButton*>() : QList<QPushButton*>())
            if (b->text() == text && b->isVisible()) return b;
        return nullptr;
    }
    bool shows(const QString& text) { return windowText().contains(text); }
    void click(const QString& text) {
        if (QPushButton* b = button(text)) b->click();
        else ADD_FAILURE() << "no button " << text.toStdString();
    }
    QString windowText() {
        QString all;
        for (auto* label : window() ? window()->findChildren<QLabel*>() : QList<QLabel*>())
            if (label->isVisible()) all += label->text() + QLatin1Char('\n');
        return all;
    }

    // Runs a check and waits for its outcome (bounded: every network wait here is < 1 s).
    CheckOutcome check(bool userInitiated) {
        QSignalSpy finished(&updater(), &Updater::checkFinished);
        userInitiated ? manager->checkForUpdates() : updater().checkForUpdatesInBackground();
        if (finished.isEmpty() && !finished.wait(3000)) ADD_FAILURE() << "the check never ended";
        return finished.isEmpty() ? CheckOutcome::Failed : finished.first().at(0).value<CheckOutcome>();
    }
    static QString lastMessage(QSignalSpy& spy) { return spy.isEmpty() ? QString() : spy.last().at(1).toString(); }

    // Presses Download and waits for the download to end: whether it worked, and its path or message.
    std::pair<bool, QString> download() {
        QSignalSpy done(&updater(), &Updater::downloadFinished);
        click(QStringLiteral("Download"));
        if (done.isEmpty() && !done.wait(3000)) ADD_FAILURE() << "the download never ended";
        if (done.isEmpty()) return {false, {}};
        return {done.first().at(0).toBool(), done.first().at(1).toString()};
    }

    QStringList downloadedFiles() {
        return QDir(downloads.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir config, downloads;
    QString settingsPath;
    LoopbackHttpServer server;
    Keys keys;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<FakeTimer> timer = std::make_shared<FakeTimer>();
    FakeNotifier* notifier = nullptr;
    std::vector<QUrl> opened;
    std::unique_ptr<UpdaterManager> manager;
};

}  // namespace gm::update::test
