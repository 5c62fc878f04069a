#pragma once
// The application's side of update checking: owns the updater controller for the life of the
// program and turns updates found by background checks into gentle reminders (a badge on the
// tray icon and a desktop notification).
#include <QObject>
#include <QString>
#include <chrono>
#include <memory>

#include "app/update/Notifier.h"
#include "app/update/StandardUpdaterController.h"

namespace gm::update {

inline constexpr const char* kUpdateNotificationId = "UpdateCheck";

// Told each time the updater schedules a background check.
class UpdaterDelegate final : public Updater::Delegate {
public:
    explicit UpdaterDelegate(Notifier& notifier) : notifier_(notifier) {}
    void willScheduleUpdateCheckAfterDelay(Updater& updater, std::chrono::seconds delay) override;

private:
    Notifier& notifier_;
};

// Reminds the user of updates that background checks find.
class UserDriverDelegate final : public QObject, public StandardUserDriver::Delegate {
    Q_OBJECT
public:
    UserDriverDelegate(Notifier& notifier, std::chrono::milliseconds badgeDelay, QObject* parent = nullptr);

    bool supportsGentleScheduledUpdateReminders() override { return true; }
    void standardUserDriverWillHandleShowingUpdate(bool handleShowingUpdate, const UpdateItem& update,
                                                   const UserUpdateState& state) override;
    void standardUserDriverDidReceiveUserAttentionForUpdate(const UpdateItem& update) override;
    void standardUserDriverWillFinishUpdateSession() override;

    QString badgeLabel() const { return badge_; }
    bool isReminding() const { return reminding_; }

signals:
    void badgeLabelChanged(const QString& label);
    void remindingChanged(bool reminding);

private:
    void setBadge(const QString& label);
    Notifier& notifier_;
    std::chrono::milliseconds badgeDelay_;
    QString badge_;
    bool reminding_ = false;
    unsigned reminder_ = 0;  // tells a late badge timer that its reminder was already attended to
};

class UpdaterManager : public QObject {
    Q_OBJECT
public:
    struct Parts {
        UpdaterOptions options;
        std::unique_ptr<Notifier> notifier;
        StandardUserDriver::UrlOpener openUrl;  // empty: the desktop's handler
        std::chrono::milliseconds badgeDelay{100};
    };

    // The program's one instance, created on first use (after the QApplication) and never
    // destroyed. It reads the feed address and key from the build and notifies over D-Bus.
    static UpdaterManager& shared();
    // Whether this build has an update feed. Without one there is nothing to check: the program
    // then never creates the shared instance, so no check is offered or scheduled.
    static bool isAvailable();
    static Parts defaultParts();

    explicit UpdaterManager(Parts parts, QObject* parent = nullptr);
    ~UpdaterManager() override;

    StandardUpdaterController& updaterController() { return *controller_; }
    Updater& updater() { return controller_->updater(); }
    QString badgeLabel() const { return userDriverDelegate_->badgeLabel(); }
    bool isReminding() const { return userDriverDelegate_->isReminding(); }

public slots:
    // The "Check for Updates…" command: a check the user asked for.
    void checkForUpdates() { controller_->checkForUpdates(); }

signals:
    // "1" while a background check's update waits for the user, "" once attended to.
    void badgeLabelChanged(const QString& label);
    // True from a background check's update until its update session ends.
    void remindingChanged(bool reminding);

private:
    std::unique_ptr<Notifier> notifier_;
    std::unique_ptr<UpdaterDelegate> updaterDelegate_;
    std::unique_ptr<UserDriverDelegate> userDriverDelegate_;
    std::unique_ptr<StandardUpdaterController> controller_;
};

}  // namespace gm::update
