#pragma once
// The user driver Glidemark ships: its own update window, plus "gentle" reminders for updates
// that background checks find, left to a delegate (badge, notification).
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

#include "app/update/UserDriver.h"

namespace gm::update {

class UpdateWindow;

class StandardUserDriver final : public QObject, public UserDriver {
    Q_OBJECT
public:
    class Delegate {
    public:
        virtual ~Delegate() = default;
        // True: updates from background checks are not put on screen at once; the delegate
        // reminds the user, and the window appears when the user attends to it.
        virtual bool supportsGentleScheduledUpdateReminders() { return false; }
        // handleShowingUpdate: whether the window is shown now.
        virtual void standardUserDriverWillHandleShowingUpdate(bool handleShowingUpdate, const UpdateItem& update,
                                                               const UserUpdateState& state) = 0;
        virtual void standardUserDriverDidReceiveUserAttentionForUpdate(const UpdateItem& update) = 0;
        virtual void standardUserDriverWillFinishUpdateSession() = 0;
    };

    using UrlOpener = std::function<bool(const QUrl&)>;
    // openUrl: how folders and links are opened; the desktop's handler when empty.
    explicit StandardUserDriver(Delegate* delegate, UrlOpener openUrl = {}, QObject* parent = nullptr);
    ~StandardUserDriver() override;

    // The window, while one exists (tests and screenshots look at it).
    UpdateWindow* window() const;
    // An update found in the background that the user has not looked at yet.
    bool hasPendingReminder() const { return pendingReminder_; }

    void showUserInitiatedUpdateCheck() override;
    void showUpdateFound(const UpdateItem& item, const UserUpdateState& state) override;
    void showUpdateNotFound(const QString& currentDisplayVersion) override;
    void showUpdaterError(const QString& message, bool duringDownload) override;
    void showDownloadStarted() override;
    void showDownloadProgress(qint64 received, qint64 expected) override;
    void showDownloadReady(const QString& path) override;
    void showUpdateInFocus() override;
    void dismissUpdateSession() override;

private:
    UpdateWindow& ensureWindow();
    void bringForward();
    void loadReleaseNotes(const QUrl& url);

    Delegate* delegate_;
    UrlOpener openUrl_;
    QPointer<UpdateWindow> window_;
    std::optional<UpdateItem> item_;
    QString readyPath_;
    bool pendingReminder_ = false;
    bool sessionShown_ = false;
};

}  // namespace gm::update
