#pragma once
// Glidemark's updater: reads the update feed, schedules background checks, downloads and
// verifies updates, and leaves every word to the user to a UserDriver.
#include <QDateTime>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "app/update/UpdateFeed.h"
#include "app/update/UpdaterSettings.h"

class QNetworkReply;

namespace gm::update {

class UpdateDownload;
class UserDriver;

// Where "now" comes from; tests move it by hand.
class UpdateClock {
public:
    virtual ~UpdateClock() = default;
    virtual QDateTime now() const = 0;
};

// The one-shot timer behind scheduled checks; tests fire it by hand.
class CheckTimer {
public:
    virtual ~CheckTimer() = default;
    virtual void start(std::chrono::milliseconds delay) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    std::function<void()> onTimeout;
};

class SystemClock final : public UpdateClock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
};

class QtCheckTimer final : public CheckTimer {
public:
    QtCheckTimer();
    void start(std::chrono::milliseconds delay) override;
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

// What the updater knows about the update it is presenting.
struct UserUpdateState {
    bool userInitiated = false;
    bool downloaded = false;  // already fetched and verified (automatic downloads)
};

enum class UpdateChoice { Download, RemindLater, Skip };

enum class CheckOutcome { UpdateFound, NoUpdate, Failed };

struct UpdaterOptions {
    QUrl feedUrl;
    QByteArray publicKeyBase64;
    QString currentVersion;
    QString currentDisplayVersion;  // shown to people; the version when empty
    QString settingsPath = UpdaterSettings::defaultPath();
    QString downloadDirectory;  // empty: the user's download folder
    TransportPolicy transport = TransportPolicy::HttpsOnly;
    std::chrono::milliseconds feedTimeout{15000};
    std::chrono::milliseconds downloadStallTimeout{30000};
    std::shared_ptr<UpdateClock> clock;  // null: the system clock
    std::shared_ptr<CheckTimer> timer;   // null: a QTimer
};

class Updater : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(bool automaticallyChecksForUpdates READ automaticallyChecksForUpdates WRITE
                   setAutomaticallyChecksForUpdates NOTIFY automaticallyChecksForUpdatesChanged)
    Q_PROPERTY(bool automaticallyDownloadsUpdates READ automaticallyDownloadsUpdates WRITE
                   setAutomaticallyDownloadsUpdates NOTIFY automaticallyDownloadsUpdatesChanged)

public:
    // Receives the updater's scheduling news.
    class Delegate {
    public:
        virtual ~Delegate() = default;
        virtual void willScheduleUpdateCheckAfterDelay(Updater& updater, std::chrono::seconds delay) = 0;
    };

    Updater(UpdaterOptions options, UserDriver& driver, Delegate* delegate, QObject* parent = nullptr);
    ~Updater() override;

    // Records the first launch and schedules background checks when they are on.
    void start();
    bool started() const { return started_; }

    // A check the user asked for: every outcome is shown. While an update is already on screen
    // or waiting behind a reminder, it brings that update to the front instead.
    void checkForUpdates();
    // A check nobody is looking at: failures and "nothing new" only reach the log.
    void checkForUpdatesInBackground();

    bool canCheckForUpdates() const;
    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool on);
    bool automaticallyDownloadsUpdates() const;
    void setAutomaticallyDownloadsUpdates(bool on);
    std::optional<QDateTime> lastUpdateCheckDate() const { return settings_.lastCheck(); }
    std::optional<QDateTime> nextScheduledCheck() const { return nextCheck_; }
    const UpdaterOptions& options() const { return options_; }
    QString currentDisplayVersion() const;
    QNetworkAccessManager& network() { return network_; }

    // Answers from the user driver.
    void reply(UpdateChoice choice);   // to an update it presented
    void cancel();                     // stops a running check or download
    void dismiss();                    // the user closed what was shown; the session ends

signals:
    void canCheckForUpdatesChanged(bool canCheck);
    void automaticallyChecksForUpdatesChanged(bool on);
    void automaticallyDownloadsUpdatesChanged(bool on);
    void checkFinished(gm::update::CheckOutcome outcome, const QString& message);
    void downloadFinished(bool ok, const QString& pathOrMessage);

private:
    enum class Stage { Idle, Checking, Presenting, Downloading, Ready, Informing };
    void startCheck(bool userInitiated);
    void feedArrived();
    void finishCheck(CheckOutcome outcome, const QString& message);
    void present(const UpdateItem& item, bool downloaded);
    void startDownload(bool presented);
    void downloadEnded(bool ok, const QString& pathOrMessage);
    void endSession();
    void dropFeedReply();
    void schedule();
    QDateTime nextCheckDue() const;
    void setStage(Stage stage);
    QDateTime now() const;

    UpdaterOptions options_;
    UserDriver& driver_;
    Delegate* delegate_;
    UpdaterSettings settings_;
    QNetworkAccessManager network_;
    std::shared_ptr<UpdateClock> clock_;
    std::shared_ptr<CheckTimer> timer_;
    QTimer feedDeadline_;
    bool started_ = false;
    Stage stage_ = Stage::Idle;
    bool userInitiated_ = false;
    bool feedTimedOut_ = false;
    bool quietDownload_ = false;
    bool feedTooLarge_ = false;
    QNetworkReply* feedReply_ = nullptr;  // the feed request under way
    std::unique_ptr<UpdateDownload> download_;
    std::optional<UpdateItem> update_;
    QString downloadedPath_;
    std::optional<QDateTime> nextCheck_;
};

}  // namespace gm::update
