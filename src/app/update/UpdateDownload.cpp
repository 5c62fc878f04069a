#include "app/update/UpdateDownload.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkReply>
#include <utility>

#include "app/update/Signature.h"

namespace gm::update {

UpdateDownload::UpdateDownload(QNetworkAccessManager& network, UpdateItem item, QString directory,
                               QByteArray publicKey, std::chrono::milliseconds stallTimeout)
    : network_(network), item_(std::move(item)), directory_(std::move(directory)), publicKey_(std::move(publicKey)) {
    stall_.setSingleShot(true);
    stall_.setInterval(stallTimeout);
    connect(&stall_, &QTimer::timeout, this, [this] {
        stalled_ = true;
        if (reply_ != nullptr) reply_->abort();
    });
}

UpdateDownload::~UpdateDownload() {
    done_ = true;  // nobody listens any more
    dropReply();
}

void UpdateDownload::dropReply() {
    QNetworkReply* reply = std::exchange(reply_, nullptr);
    if (reply == nullptr) return;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

QString UpdateDownload::finalPath(const QString& directory, const UpdateItem& item) {
    QString name = item.downloadUrl.fileName();
    // Never let a hostile address choose a hidden file or a path outside the folder.
    name.remove(QLatin1Char('/')).remove(QLatin1Char('\\'));
    while (name.startsWith(QLatin1Char('.'))) name.remove(0, 1);
    if (name.isEmpty()) name = QStringLiteral("Glidemark-%1").arg(item.version);
    const QFileInfo info(name);
    QString base = info.completeBaseName();
    QString suffix = info.suffix().isEmpty() ? QString() : QStringLiteral(".") + info.suffix();
    if (base.endsWith(QLatin1String(".tar"), Qt::CaseInsensitive)) {  // "x (2).tar.gz", not "x.tar (2).gz"
        suffix.prepend(base.right(4));
        base.chop(4);
    }
    QString candidate = QDir(directory).filePath(name);
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = QDir(directory).filePath(QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(suffix));
    return candidate;
}

void UpdateDownload::start() {
    if (publicKey_.isEmpty()) {
        // Checked before fetching anything: an update nobody can verify is never downloaded.
        fail(QStringLiteral("This build of Glidemark has no key to verify updates with, so it cannot download them."));
        return;
    }
    if (!QDir().mkpath(directory_)) {
        fail(QStringLiteral("The download folder %1 cannot be created.").arg(QDir::toNativeSeparators(directory_)));
        return;
    }
    file_ = std::make_unique<QTemporaryFile>(QDir(directory_).filePath(QStringLiteral(".glidemark-update-XXXXXX.part")));
    if (!file_->open()) {
        fail(QStringLiteral("The update cannot be saved in %1: %2").arg(QDir::toNativeSeparators(directory_), file_->errorString()));
        return;
    }
    QNetworkRequest request(item_.downloadUrl);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = network_.get(request);
    reply_ = reply;
    connect(reply, &QIODevice::readyRead, this, &UpdateDownload::readAvailable);
    connect(reply, &QNetworkReply::finished, this, &UpdateDownload::replyFinished);
    stall_.start();
}

void UpdateDownload::cancel() {
    if (done_) return;
    done_ = true;
    stall_.stop();
    dropReply();
    file_.reset();  // removes the partial file
}

void UpdateDownload::readAvailable() {
    QNetworkReply* reply = reply_;
    if (reply == nullptr || done_) return;
    stall_.start();
    const QByteArray chunk = reply->readAll();
    if (file_->size() + chunk.size() > item_.length) {
        // More than the feed promised: stop at once rather than fill the disk.
        tooLong_ = true;
        reply->abort();
        return;
    }
    if (file_->write(chunk) != chunk.size()) {
        fail(QStringLiteral("The update could not be written: %1").arg(file_->errorString()));
        return;
    }
    emit progress(file_->size(), item_.length);
}

void UpdateDownload::replyFinished() {
    QNetworkReply* reply = std::exchange(reply_, nullptr);
    if (done_ || reply == nullptr) return;
    stall_.stop();
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (tooLong_) {
        fail(QStringLiteral("The download is larger than the %1 bytes the update feed announced, so it was deleted.").arg(item_.length));
        return;
    }
    if (stalled_) {
        fail(QStringLiteral("The download stalled and was stopped."));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        fail(status >= 400 ? QStringLiteral("The update could not be downloaded (HTTP %1).").arg(status)
                           : QStringLiteral("The update could not be downloaded: %1").arg(reply->errorString()));
        return;
    }
    if (!file_->flush()) {
        fail(QStringLiteral("The update could not be written: %1").arg(file_->errorString()));
        return;
    }
    if (file_->size() != item_.length) {
        fail(QStringLiteral("The download has %1 bytes instead of the %2 the update feed announced, so it was deleted.")
                 .arg(file_->size())
                 .arg(item_.length));
        return;
    }
    if (!verifyFileSignature(file_->fileName(), item_.signature, publicKey_)) {
        fail(QStringLiteral("The update is not correctly signed and could not be verified, so it was deleted."));
        return;
    }
    const QString target = finalPath(directory_, item_);
    file_->close();
    // Temporary files are private to the user; the finished download is an ordinary file, and
    // never executable.
    file_->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                          QFileDevice::ReadOther);
    if (!file_->rename(target)) {
        fail(QStringLiteral("The verified update could not be renamed to %1: %2").arg(QDir::toNativeSeparators(target), file_->errorString()));
        return;
    }
    file_->setAutoRemove(false);
    file_.reset();
    done_ = true;
    emit finished(true, target);
}

void UpdateDownload::fail(const QString& message) {
    if (done_) return;
    done_ = true;
    stall_.stop();
    dropReply();
    file_.reset();
    emit finished(false, message);
}

}  // namespace gm::update
