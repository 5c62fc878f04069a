#pragma once
// Fetches one update into a hidden temporary file beside its final place, checks its length and
// signature, and only then gives it its real name. Anything short of that leaves no file behind.
#include <QNetworkAccessManager>
#include <QObject>
#include <QTemporaryFile>
#include <QTimer>
#include <chrono>
#include <memory>

#include "app/update/UpdateFeed.h"

class QNetworkReply;

namespace gm::update {

class UpdateDownload : public QObject {
    Q_OBJECT
public:
    UpdateDownload(QNetworkAccessManager& network, UpdateItem item, QString directory,
                   QByteArray publicKey, std::chrono::milliseconds stallTimeout);
    ~UpdateDownload() override;

    void start();
    void cancel();

    // The name the update gets in directory: the download address's file name, made unique.
    static QString finalPath(const QString& directory, const UpdateItem& item);

signals:
    void progress(qint64 received, qint64 expected);
    void finished(bool ok, const QString& pathOrMessage);

private:
    void readAvailable();
    void replyFinished();
    void fail(const QString& message);
    void dropReply();

    QNetworkAccessManager& network_;
    UpdateItem item_;
    QString directory_;
    QByteArray publicKey_;
    QTimer stall_;
    bool stalled_ = false;
    bool tooLong_ = false;
    bool done_ = false;
    QNetworkReply* reply_ = nullptr;  // owned by the network manager; deleted later once finished
    std::unique_ptr<QTemporaryFile> file_;
};

}  // namespace gm::update
