#pragma once
// A tiny HTTP/1.0 server on 127.0.0.1 that serves canned answers, so update tests never
// leave the machine. One request per connection; the answer closes it.
#include <QHash>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace gm::update::test {

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

}  // namespace gm::update::test
