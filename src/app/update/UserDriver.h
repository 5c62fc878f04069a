#pragma once
// Everything the updater has to say to the user goes through a UserDriver; the standard one
// shows Glidemark's update window and reminders, tests use a recording one.
#include <QString>

#include "app/update/UpdateFeed.h"
#include "app/update/Updater.h"

namespace gm::update {

class UserDriver {
public:
    virtual ~UserDriver() = default;

    // A user-initiated check has started (the driver may offer Updater::cancel()).
    virtual void showUserInitiatedUpdateCheck() = 0;
    // An update was found. The driver answers with Updater::reply(), or Updater::dismiss().
    virtual void showUpdateFound(const UpdateItem& item, const UserUpdateState& state) = 0;
    // A user-initiated check found nothing newer (or only what it already runs).
    virtual void showUpdateNotFound(const QString& currentDisplayVersion) = 0;
    // A user-initiated check, or (duringDownload) a download the user asked for, failed.
    virtual void showUpdaterError(const QString& message, bool duringDownload) = 0;
    virtual void showDownloadStarted() = 0;
    virtual void showDownloadProgress(qint64 received, qint64 expected) = 0;
    // The download is verified and sits at path, ready to be opened by the user.
    virtual void showDownloadReady(const QString& path) = 0;
    // The user asked to check while an update was already being presented.
    virtual void showUpdateInFocus() = 0;
    // The session is over: close whatever is still shown.
    virtual void dismissUpdateSession() = 0;

    void attach(Updater* updater) { updater_ = updater; }

protected:
    Updater* updater() const { return updater_; }

private:
    Updater* updater_ = nullptr;
};

}  // namespace gm::update
