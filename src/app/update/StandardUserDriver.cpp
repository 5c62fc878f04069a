#include "app/update/StandardUserDriver.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QNetworkReply>

#include "app/update/StandardUpdaterController.h"
#include "app/update/UpdateWindow.h"
#include "app/update/WindowActivation.h"

namespace gm::update {

StandardUserDriver::StandardUserDriver(Delegate* delegate, UrlOpener openUrl, QObject* parent)
    : QObject(parent), delegate_(delegate), openUrl_(std::move(openUrl)) {
    if (!openUrl_) openUrl_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

StandardUserDriver::~StandardUserDriver() { delete window_.data(); }

UpdateWindow* StandardUserDriver::window() const { return window_.data(); }

UpdateWindow& StandardUserDriver::ensureWindow() {
    if (window_) return *window_;
    window_ = new UpdateWindow;
    connect(window_, &UpdateWindow::downloadRequested, this, [this] {
        if (updater()) updater()->reply(UpdateChoice::Download);
    });
    connect(window_, &UpdateWindow::remindLaterRequested, this, [this] {
        if (updater()) updater()->reply(UpdateChoice::RemindLater);
    });
    connect(window_, &UpdateWindow::skipRequested, this, [this] {
        if (updater()) updater()->reply(UpdateChoice::Skip);
    });
    connect(window_, &UpdateWindow::cancelRequested, this, [this] {
        if (updater()) updater()->cancel();
    });
    connect(window_, &UpdateWindow::finished, this, [this] {
        if (updater()) updater()->dismiss();
    });
    connect(window_, &UpdateWindow::openLinkRequested, this, [this](const QUrl& url) { openUrl_(url); });
    connect(window_, &UpdateWindow::showInFolderRequested, this, [this] {
        // The update is only ever shown, never run: installing it is the user's decision.
        openUrl_(QUrl::fromLocalFile(QFileInfo(readyPath_).absolutePath()));
        if (updater()) updater()->dismiss();
    });
    return *window_;
}

void StandardUserDriver::bringForward() {
    sessionShown_ = true;
    bringWindowForward(*window_);
}

void StandardUserDriver::showUserInitiatedUpdateCheck() {
    ensureWindow().showChecking();
    bringForward();
}

void StandardUserDriver::showUpdateFound(const UpdateItem& item, const UserUpdateState& state) {
    item_ = item;
    readyPath_.clear();
    const bool gentle = !state.userInitiated && delegate_ && delegate_->supportsGentleScheduledUpdateReminders();
    if (delegate_) delegate_->standardUserDriverWillHandleShowingUpdate(!gentle, item, state);
    UpdateWindow& window = ensureWindow();
    window.showUpdate(item, updater() ? updater()->currentDisplayVersion() : QString());
    if (item.releaseNotes.isEmpty() && !item.releaseNotesUrl.isEmpty()) loadReleaseNotes(item.releaseNotesUrl);
    sessionShown_ = true;
    if (gentle) {
        pendingReminder_ = true;  // the window waits until the user comes for it
        return;
    }
    bringForward();
}

void StandardUserDriver::loadReleaseNotes(const QUrl& url) {
    if (!updater()) return;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(updater()->options().feedTimeout.count()));
    QNetworkReply* reply = updater()->network().get(request);
    QPointer<UpdateWindow> window = window_;
    connect(reply, &QNetworkReply::finished, this, [reply, window, url] {
        reply->deleteLater();
        if (!window) return;
        if (reply->error() != QNetworkReply::NoError) {
            window->setReleaseNotes(QStringLiteral("<p>The release notes could not be loaded.</p><p><a href=\"%1\">%1</a></p>")
                                        .arg(url.toString().toHtmlEscaped()));
            return;
        }
        window->setReleaseNotes(QString::fromUtf8(reply->readAll()));
    });
}

void StandardUserDriver::showUpdateNotFound(const QString& currentDisplayVersion) {
    ensureWindow().showMessage(QStringLiteral("You're up to date!"),
                               QStringLiteral("Glidemark %1 is the latest version.").arg(currentDisplayVersion));
    bringForward();
}

void StandardUserDriver::showUpdaterError(const QString& message, bool duringDownload) {
    ensureWindow().showMessage(duringDownload ? QStringLiteral("The update could not be downloaded")
                                              : QStringLiteral("Could not check for updates"),
                               message);
    bringForward();
}

void StandardUserDriver::showDownloadStarted() {
    if (!item_) return;
    ensureWindow().showDownloading(*item_);
    if (!pendingReminder_) bringForward();
}

void StandardUserDriver::showDownloadProgress(qint64 received, qint64 expected) {
    if (window_) window_->setProgress(received, expected);
}

void StandardUserDriver::showDownloadReady(const QString& path) {
    if (!item_) return;
    readyPath_ = path;
    ensureWindow().showReady(*item_, path);
    if (!pendingReminder_) bringForward();
}

void StandardUserDriver::showUpdateInFocus() {
    if (!window_) return;
    if (pendingReminder_) {
        pendingReminder_ = false;
        if (delegate_ && item_) delegate_->standardUserDriverDidReceiveUserAttentionForUpdate(*item_);
    }
    bringForward();
}

void StandardUserDriver::dismissUpdateSession() {
    if (window_) window_->hide();
    const bool shown = sessionShown_;
    sessionShown_ = false;
    pendingReminder_ = false;
    item_.reset();
    readyPath_.clear();
    if (shown && delegate_) delegate_->standardUserDriverWillFinishUpdateSession();
}

StandardUpdaterController::StandardUpdaterController(bool startingUpdater, UpdaterOptions options,
                                                     Updater::Delegate* updaterDelegate,
                                                     StandardUserDriver::Delegate* userDriverDelegate,
                                                     StandardUserDriver::UrlOpener openUrl, QObject* parent)
    : QObject(parent),
      driver_(userDriverDelegate, std::move(openUrl)),
      updater_(std::move(options), driver_, updaterDelegate) {
    if (startingUpdater) updater_.start();
}

}  // namespace gm::update
