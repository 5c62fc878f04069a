#include "app/update/UpdaterManager.h"

#include <QTimer>
#include <cstdio>

#include "app/update/BuildInfo.h"
#include "app/update/WindowActivation.h"
#include "platform/Log.h"

namespace gm::update {

void UpdaterDelegate::willScheduleUpdateCheckAfterDelay(Updater&, std::chrono::seconds) {
    notifier_.requestAuthorization();
}

UserDriverDelegate::UserDriverDelegate(Notifier& notifier, std::chrono::milliseconds badgeDelay, QObject* parent)
    : QObject(parent), notifier_(notifier), badgeDelay_(badgeDelay) {}

void UserDriverDelegate::standardUserDriverWillHandleShowingUpdate(bool, const UpdateItem& update,
                                                                   const UserUpdateState& state) {
    std::fputs("User updater check\n", stdout);
    if (state.userInitiated) return;  // the user is already looking at the update window
    std::fputs("System updater check\n", stdout);
    std::fflush(stdout);
    if (!reminding_) {
        reminding_ = true;
        emit remindingChanged(true);
    }
    const unsigned reminder = ++reminder_;
    QTimer::singleShot(badgeDelay_, this, [this, reminder] {
        if (reminder == reminder_ && reminding_) setBadge(QStringLiteral("1"));
    });
    notifier_.post(QLatin1String(kUpdateNotificationId), QStringLiteral("A new update is available"),
                   QStringLiteral("Version ") + update.displayVersion + QStringLiteral(" is now available"));
}

void UserDriverDelegate::standardUserDriverDidReceiveUserAttentionForUpdate(const UpdateItem&) {
    ++reminder_;
    setBadge(QString());
    notifier_.removeDelivered(QLatin1String(kUpdateNotificationId));
}

void UserDriverDelegate::standardUserDriverWillFinishUpdateSession() {
    ++reminder_;
    if (!reminding_) return;
    reminding_ = false;
    emit remindingChanged(false);
}

void UserDriverDelegate::setBadge(const QString& label) {
    if (badge_ == label) return;
    badge_ = label;
    emit badgeLabelChanged(label);
}

UpdaterManager::Parts UpdaterManager::defaultParts() {
    Parts parts;
    parts.options.feedUrl = build::feedUrl();
    parts.options.publicKeyBase64 = build::publicKeyBase64();
    parts.options.currentVersion = build::version();
    parts.notifier = makeSystemNotifier();
    return parts;
}

bool UpdaterManager::isAvailable() { return !build::feedUrl().isEmpty(); }

UpdaterManager& UpdaterManager::shared() {
    static UpdaterManager* const instance = new UpdaterManager(defaultParts());
    return *instance;
}

UpdaterManager::UpdaterManager(Parts parts, QObject* parent)
    : QObject(parent),
      notifier_(std::move(parts.notifier)),
      updaterDelegate_(std::make_unique<UpdaterDelegate>(*notifier_)),
      userDriverDelegate_(std::make_unique<UserDriverDelegate>(*notifier_, parts.badgeDelay)) {
    connect(userDriverDelegate_.get(), &UserDriverDelegate::badgeLabelChanged, this, &UpdaterManager::badgeLabelChanged);
    connect(userDriverDelegate_.get(), &UserDriverDelegate::remindingChanged, this, &UpdaterManager::remindingChanged);
    controller_ = std::make_unique<StandardUpdaterController>(true, std::move(parts.options), updaterDelegate_.get(),
                                                              userDriverDelegate_.get(), std::move(parts.openUrl));
    // A click on the reminder brings the user to the update, like the menu command; the
    // window that comes up may take the focus with the notification's token.
    connect(notifier_.get(), &Notifier::activated, this, [this](const QString& requestId, const QString& token) {
        if (requestId != QLatin1String(kUpdateNotificationId)) return;
        setPendingActivationToken(token);
        checkForUpdates();
    });
    platform::log().info("Module initialized: UpdaterManager");
}

UpdaterManager::~UpdaterManager() = default;

}  // namespace gm::update
