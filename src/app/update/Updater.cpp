#include "app/update/Updater.h"

#include <QNetworkReply>
#include <QStandardPaths>
#include <algorithm>
#include <limits>
#include <utility>

#include "app/update/Signature.h"
#include "app/update/UpdateDownload.h"
#include "app/update/UserDriver.h"
#include "app/update/Version.h"
#include "platform/Log.h"

namespace gm::update {
namespace {

constexpr qint64 kLargestFeed = 4 * 1024 * 1024;

void logLine(const QString& line) { platform::log().info(line.toStdString()); }

QString seconds(std::chrono::milliseconds ms) {
    const auto whole = ms.count() / 1000;
    if (ms.count() % 1000 == 0) return whole == 1 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(whole);
    return QStringLiteral("%1 seconds").arg(static_cast<double>(ms.count()) / 1000.0, 0, 'g', 3);
}

}  // namespace

QtCheckTimer::QtCheckTimer() {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (onTimeout) onTimeout();
    });
}

void QtCheckTimer::start(std::chrono::milliseconds delay) {
    // QTimer counts in int milliseconds (about 24 days); a later check just re-arms on waking.
    constexpr auto longest = std::chrono::milliseconds(std::numeric_limits<int>::max());
    timer_.start(std::min(std::max(delay, std::chrono::milliseconds(0)), longest));
}

Updater::Updater(UpdaterOptions options, UserDriver& driver, Delegate* delegate, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      driver_(driver),
      delegate_(delegate),
      settings_(options_.settingsPath),
      clock_(options_.clock ? options_.clock : std::make_shared<SystemClock>()),
      timer_(options_.timer ? options_.timer : std::make_shared<QtCheckTimer>()) {
    if (options_.downloadDirectory.isEmpty()) {
        options_.downloadDirectory = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
        if (options_.downloadDirectory.isEmpty())
            options_.downloadDirectory = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    }
    feedDeadline_.setSingleShot(true);
    connect(&feedDeadline_, &QTimer::timeout, this, [this] {
        feedTimedOut_ = true;
        if (feedReply_ != nullptr) feedReply_->abort();
    });
    timer_->onTimeout = [this] {
        nextCheck_.reset();
        // The timer may fire early or late (sleep, clock changes): re-arm unless it is really time.
        if (now() < nextCheckDue()) {
            schedule();
            return;
        }
        checkForUpdatesInBackground();
    };
    driver_.attach(this);
}

Updater::~Updater() {
    timer_->onTimeout = nullptr;
    timer_->stop();
    dropFeedReply();
    download_.reset();
    driver_.attach(nullptr);
}

void Updater::dropFeedReply() {
    QNetworkReply* reply = std::exchange(feedReply_, nullptr);
    if (reply == nullptr) return;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

QDateTime Updater::now() const { return clock_->now(); }

QString Updater::currentDisplayVersion() const {
    return options_.currentDisplayVersion.isEmpty() ? options_.currentVersion : options_.currentDisplayVersion;
}

void Updater::start() {
    if (started_) return;
    started_ = true;
    if (!settings_.firstLaunch()) settings_.setFirstLaunch(now());
    schedule();
}

bool Updater::canCheckForUpdates() const { return stage_ != Stage::Checking && stage_ != Stage::Downloading; }

bool Updater::automaticallyChecksForUpdates() const { return settings_.automaticallyChecks(); }

void Updater::setAutomaticallyChecksForUpdates(bool on) {
    if (on == settings_.automaticallyChecks()) return;
    settings_.setAutomaticallyChecks(on);
    schedule();
    emit automaticallyChecksForUpdatesChanged(on);
}

bool Updater::automaticallyDownloadsUpdates() const { return settings_.automaticallyDownloads(); }

void Updater::setAutomaticallyDownloadsUpdates(bool on) {
    if (on == settings_.automaticallyDownloads()) return;
    settings_.setAutomaticallyDownloads(on);
    emit automaticallyDownloadsUpdatesChanged(on);
}

void Updater::schedule() {
    timer_->stop();
    nextCheck_.reset();
    if (!started_ || !settings_.automaticallyChecks()) return;
    const QDateTime due = nextCheckDue();
    const auto delay = std::chrono::milliseconds(std::max<qint64>(0, now().msecsTo(due)));
    nextCheck_ = due;
    if (delegate_) delegate_->willScheduleUpdateCheckAfterDelay(*this, std::chrono::duration_cast<std::chrono::seconds>(delay));
    timer_->start(delay);
}

QDateTime Updater::nextCheckDue() const {
    // The first check comes one interval after the first launch, then one after each check.
    QDateTime from = settings_.lastCheck().value_or(settings_.firstLaunch().value_or(now()));
    // A date still to come was stored by a clock set wrong (or written by
    // hand); taken as it stands it would hold off every check until then.
    from = std::min(from, now());
    const QDateTime due = from.addSecs(settings_.checkInterval().count());
    // A stored date at the edge of the calendar gives no due date: count from now.
    return due.isValid() ? due : now().addSecs(kDefaultCheckInterval.count());
}

void Updater::setStage(Stage stage) {
    const bool could = canCheckForUpdates();
    stage_ = stage;
    if (could != canCheckForUpdates()) emit canCheckForUpdatesChanged(canCheckForUpdates());
}

void Updater::checkForUpdates() {
    switch (stage_) {
    case Stage::Checking:
        if (!userInitiated_) {
            // A background check is under way: let the user watch it instead of starting another.
            userInitiated_ = true;
            driver_.showUserInitiatedUpdateCheck();
        }
        return;
    case Stage::Downloading:
        if (quietDownload_) {
            quietDownload_ = false;
            userInitiated_ = true;
            driver_.showUpdateFound(*update_, UserUpdateState{true, false});
            driver_.showDownloadStarted();
            return;
        }
        driver_.showUpdateInFocus();
        return;
    case Stage::Presenting:
    case Stage::Ready:
        // Already busy with an update, or one is waiting: show it rather than start over.
        driver_.showUpdateInFocus();
        return;
    case Stage::Informing:
        driver_.dismissUpdateSession();
        break;
    case Stage::Idle:
        break;
    }
    startCheck(true);
}

void Updater::checkForUpdatesInBackground() {
    if (stage_ != Stage::Idle) {
        logLine(QStringLiteral("Scheduled update check skipped: an update session is already open"));
        settings_.setLastCheck(now());
        schedule();
        return;
    }
    startCheck(false);
}

void Updater::startCheck(bool userInitiated) {
    userInitiated_ = userInitiated;
    feedTimedOut_ = false;
    feedTooLarge_ = false;
    timer_->stop();
    nextCheck_.reset();
    setStage(Stage::Checking);
    if (userInitiated) driver_.showUserInitiatedUpdateCheck();
    if (options_.feedUrl.isEmpty()) {
        finishCheck(CheckOutcome::Failed, QStringLiteral("This build of Glidemark has no update feed."));
        return;
    }
    if (!isAllowedUrl(options_.feedUrl, options_.transport)) {
        finishCheck(CheckOutcome::Failed, QStringLiteral("The update feed's address must use HTTPS."));
        return;
    }
    QNetworkRequest request(options_.feedUrl);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Glidemark/%1").arg(options_.currentVersion));
    feedReply_ = network_.get(request);
    connect(feedReply_, &QNetworkReply::finished, this, &Updater::feedArrived);
    connect(feedReply_, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        // A feed is a few kilobytes; something far bigger is not one, and is not worth reading.
        if (received > kLargestFeed && feedReply_ != nullptr) {
            feedTooLarge_ = true;
            feedReply_->abort();
        }
    });
    feedDeadline_.start(options_.feedTimeout);
}

void Updater::feedArrived() {
    feedDeadline_.stop();
    QNetworkReply* reply = std::exchange(feedReply_, nullptr);
    if (reply == nullptr) return;
    reply->deleteLater();
    if (stage_ != Stage::Checking) return;  // cancelled meanwhile
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (feedTimedOut_) {
        finishCheck(CheckOutcome::Failed,
                    QStringLiteral("The update server did not answer within %1.").arg(seconds(options_.feedTimeout)));
        return;
    }
    if (feedTooLarge_) {
        finishCheck(CheckOutcome::Failed, QStringLiteral("The update feed is larger than %1 MB, so it was not read.")
                                              .arg(kLargestFeed / (1024 * 1024)));
        return;
    }
    if (status >= 400) {
        finishCheck(CheckOutcome::Failed, QStringLiteral("The update feed could not be loaded (HTTP %1).").arg(status));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        finishCheck(CheckOutcome::Failed, QStringLiteral("The update server could not be reached: %1").arg(reply->errorString()));
        return;
    }
    const FeedResult parsed = parseFeed(reply->readAll(), options_.transport);
    if (!parsed.feed) {
        finishCheck(CheckOutcome::Failed, parsed.error);
        return;
    }
    for (const auto& line : parsed.feed->skipped) logLine(QStringLiteral("Update feed: ignored ") + line);
    const UpdateItem* update = newestUpdate(*parsed.feed, options_.currentVersion);
    const QString skipped = settings_.skippedVersion();
    // A skipped version stays quiet in the background; the user asking explicitly still sees it.
    if (update && !userInitiated_ && !skipped.isEmpty() && compareVersions(update->version, skipped) <= 0) {
        logLine(QStringLiteral("Update check: version %1 was skipped by the user").arg(update->displayVersion));
        update = nullptr;
    }
    if (!update) {
        finishCheck(CheckOutcome::NoUpdate, {});
        return;
    }
    update_ = *update;
    finishCheck(CheckOutcome::UpdateFound, {});
}

void Updater::finishCheck(CheckOutcome outcome, const QString& message) {
    settings_.setLastCheck(now());
    switch (outcome) {
    case CheckOutcome::Failed:
        logLine(QStringLiteral("Update check failed: ") + message);
        if (userInitiated_) {
            setStage(Stage::Informing);
            driver_.showUpdaterError(message, false);
        } else {
            endSession();
        }
        break;
    case CheckOutcome::NoUpdate:
        logLine(QStringLiteral("Update check: Glidemark %1 is up to date").arg(currentDisplayVersion()));
        if (userInitiated_) {
            setStage(Stage::Informing);
            driver_.showUpdateNotFound(currentDisplayVersion());
        } else {
            endSession();
        }
        break;
    case CheckOutcome::UpdateFound:
        logLine(QStringLiteral("Update check: version %1 is available").arg(update_->displayVersion));
        if (!userInitiated_ && settings_.automaticallyDownloads()) {
            startDownload(false);  // quietly; the user hears of it once it is ready
        } else {
            present(*update_, false);
        }
        break;
    }
    emit checkFinished(outcome, message);
}

void Updater::present(const UpdateItem& item, bool downloaded) {
    setStage(downloaded ? Stage::Ready : Stage::Presenting);
    driver_.showUpdateFound(item, UserUpdateState{userInitiated_, downloaded});
    if (downloaded) driver_.showDownloadReady(downloadedPath_);
}

void Updater::reply(UpdateChoice choice) {
    if (stage_ != Stage::Presenting || !update_) return;
    switch (choice) {
    case UpdateChoice::Download:
        startDownload(true);
        return;
    case UpdateChoice::Skip:
        settings_.setSkippedVersion(update_->version);
        logLine(QStringLiteral("Update %1 skipped").arg(update_->displayVersion));
        break;
    case UpdateChoice::RemindLater:
        break;
    }
    endSession();
}

void Updater::startDownload(bool presented) {
    setStage(Stage::Downloading);
    download_ = std::make_unique<UpdateDownload>(network_, *update_, options_.downloadDirectory,
                                                 decodePublicKey(options_.publicKeyBase64), options_.downloadStallTimeout);
    quietDownload_ = !presented;
    connect(download_.get(), &UpdateDownload::progress, this, [this](qint64 received, qint64 expected) {
        if (!quietDownload_) driver_.showDownloadProgress(received, expected);
    });
    connect(download_.get(), &UpdateDownload::finished, this, [this](bool ok, const QString& pathOrMessage) {
        // The download object may not be destroyed from inside its own signal.
        download_.release()->deleteLater();
        downloadEnded(ok, pathOrMessage);
    });
    if (presented) driver_.showDownloadStarted();
    download_->start();
}

void Updater::downloadEnded(bool ok, const QString& pathOrMessage) {
    // Quiet downloads only reach the user once they are ready.
    const bool quiet = quietDownload_;
    quietDownload_ = false;
    emit downloadFinished(ok, pathOrMessage);
    if (!ok) {
        logLine(QStringLiteral("Update download failed: ") + pathOrMessage);
        if (quiet) {
            endSession();
        } else {
            setStage(Stage::Informing);
            driver_.showUpdaterError(pathOrMessage, true);
        }
        return;
    }
    logLine(QStringLiteral("Update %1 downloaded and verified: %2").arg(update_->displayVersion, pathOrMessage));
    downloadedPath_ = pathOrMessage;
    if (quiet) {
        present(*update_, true);
    } else {
        setStage(Stage::Ready);
        driver_.showDownloadReady(pathOrMessage);
    }
}

void Updater::cancel() {
    if (stage_ == Stage::Checking) {
        dropFeedReply();
        feedDeadline_.stop();
        settings_.setLastCheck(now());
        endSession();
    } else if (stage_ == Stage::Downloading) {
        download_.reset();
        endSession();
    }
}

void Updater::dismiss() {
    if (stage_ == Stage::Checking || stage_ == Stage::Downloading) {
        cancel();
        return;
    }
    if (stage_ != Stage::Idle) endSession();
}

void Updater::endSession() {
    update_.reset();
    downloadedPath_.clear();
    setStage(Stage::Idle);
    driver_.dismissUpdateSession();
    schedule();
}

}  // namespace gm::update
