#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "app/update/WindowActivation.h"
#include "platform/Log.h"

namespace gm::app {

namespace {

constexpr int kRetryIntervalMs = 100;
constexpr qint64 kMaxLineLength = 4096;

QByteArray requestLine(SingleInstance::Request request, const QString& token) {
    if (request == SingleInstance::Request::Quit) return QByteArrayLiteral("quit\n");
    if (!update::isUsableActivationToken(token)) return QByteArrayLiteral("reopen\n");
    return "reopen\t" + token.toLatin1() + '\n';
}

// Waits, with events running, until `ready` holds or the time is up.
template <typename Ready>
bool waitFor(QLocalSocket& socket, int timeoutMs, Ready ready) {
    if (ready()) return true;
    if (socket.state() == QLocalSocket::UnconnectedState) return false;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    auto check = [&] {
        if (ready() || socket.state() == QLocalSocket::UnconnectedState) loop.quit();
    };
    QObject::connect(&socket, &QLocalSocket::readyRead, &loop, check);
    QObject::connect(&socket, &QLocalSocket::connected, &loop, check);
    QObject::connect(&socket, &QLocalSocket::bytesWritten, &loop, check);
    QObject::connect(&socket, &QLocalSocket::disconnected, &loop, check);
    QObject::connect(&socket, &QLocalSocket::errorOccurred, &loop, check);
    timeout.start(timeoutMs);
    loop.exec();
    return ready();
}

}  // namespace

SingleInstance::SingleInstance(QString socketName, Identity self, QObject* parent)
    : QObject(parent), socketName_(std::move(socketName)), self_(std::move(self)) {
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    retryTimer_.setInterval(kRetryIntervalMs);
    connect(&retryTimer_, &QTimer::timeout, this, &SingleInstance::retryListen);
}

SingleInstance::~SingleInstance() { server_.close(); }

QString SingleInstance::defaultSocketName() {
    // The socket lives in a folder only this user may enter, which keeps
    // other users from asking our copy to quit. (Qt's own access options are
    // not used: they put the socket in place by renaming it over any socket
    // already there, which would take the name from a running copy.)
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) return runtime + QStringLiteral("/glidemark.sock");
    // The temporary directory is shared with every other user, who may have
    // made the folder first: it must be a folder of ours (not a link) that
    // nobody else may enter. Otherwise there is no socket, and no single-instance rule.
    const QString folder = QDir::tempPath() + QStringLiteral("/glidemark-%1").arg(getuid());
    const QByteArray path = QFile::encodeName(folder);
    struct stat info {};
    if ((::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) || ::lstat(path.constData(), &info) != 0 ||
        !S_ISDIR(info.st_mode) || info.st_uid != getuid() || (info.st_mode & 077) != 0) {
        platform::log().error("Not using " + folder.toStdString() +
                              " for the single-instance socket: it is not a private folder of this user");
        return {};
    }
    return folder + QStringLiteral("/glidemark.sock");
}

SingleInstance::Identity SingleInstance::currentProcess() {
    return {QCoreApplication::applicationPid(), QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath()};
}

std::optional<SingleInstance::Peer> SingleInstance::findRunningInstance(int timeoutMs) {
    if (socketName_.isEmpty()) return std::nullopt;
    delete client_;
    client_ = new QLocalSocket(this);
    client_->connectToServer(socketName_);
    QLocalSocket& socket = *client_;
    if (!waitFor(socket, timeoutMs, [&] { return socket.canReadLine(); })) {
        socket.abort();
        return std::nullopt;
    }
    const QByteArray line = socket.readLine(kMaxLineLength).trimmed();
    const qsizetype tab = line.indexOf('\t');
    if (tab <= 0) return std::nullopt;
    bool ok = false;
    Peer peer{line.left(tab).toLongLong(&ok), QString::fromUtf8(line.mid(tab + 1))};
    if (!ok) return std::nullopt;
    return peer;
}

QString SingleInstance::launchActivationToken() { return qEnvironmentVariable("XDG_ACTIVATION_TOKEN"); }

bool SingleInstance::send(Request request, const QString& activationToken) {
    if (!client_ || client_->state() != QLocalSocket::ConnectedState) return false;
    QLocalSocket& socket = *client_;
    socket.write(requestLine(request, activationToken));
    const bool written = waitFor(socket, 1000, [&] { return socket.bytesToWrite() == 0; });
    socket.disconnectFromServer();
    return written;
}

bool SingleInstance::listen(int takeOverMs) {
    if (socketName_.isEmpty()) return false;
    if (tryListen()) return true;
    if (takeOverMs <= 0) {
        // Nobody answered on the socket, so what is left of it is stale.
        QLocalServer::removeServer(socketName_);
        return tryListen();
    }
    takeOverMs_ = takeOverMs;
    retryClock_.start();
    retryTimer_.start();
    return false;
}

bool SingleInstance::tryListen() {
    if (server_.isListening()) return true;
    if (!server_.listen(socketName_)) return false;
    emit listening();
    return true;
}

void SingleInstance::retryListen() {
    if (tryListen()) {
        retryTimer_.stop();
        return;
    }
    if (retryClock_.elapsed() < takeOverMs_) return;
    // Whoever held the socket is gone or hung; a socket file left behind by a
    // crash must not keep every later copy from starting.
    retryTimer_.stop();
    QLocalServer::removeServer(socketName_);
    tryListen();
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        socket->write(QByteArray::number(self_.pid) + '\t' + self_.executablePath.toUtf8() + '\n');
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine(kMaxLineLength).trimmed();
                if (line == "reopen" || line.startsWith("reopen\t")) {
                    const QString token = QString::fromLatin1(line.mid(7));
                    emit reopenRequested(update::isUsableActivationToken(token) ? token : QString());
                } else if (line == "quit") {
                    emit quitRequested();
                }
            }
        });
    }
}

}  // namespace gm::app
