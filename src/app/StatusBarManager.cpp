#include "app/StatusBarManager.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

#include "app/Artwork.h"
#include "app/WindowManager.h"
#include "platform/Log.h"
#include "settings/SettingsManager.h"

namespace gm::app {

namespace {
StatusBarManager* liveInstance = nullptr;
}

StatusBarManager::StatusBarManager(AppMenu::Dependencies menuDependencies, QObject* parent)
    : QObject(parent), settings_(menuDependencies.settings), statusItem_(std::make_unique<QSystemTrayIcon>()) {
    liveInstance = this;
    WindowManager& windows = menuDependencies.windows;
    platform::log().info("Module initialized: StatusBarManager");

    menu_ = std::make_unique<AppMenu>(std::move(menuDependencies));
    statusItem_->setIcon(artwork::icon(artwork::kMenuMouse));
    statusItem_->setToolTip(QStringLiteral("Glidemark"));
    statusItem_->setContextMenu(menu_->menu());
    // The menu is the icon's whole purpose, so a plain click opens it too,
    // not only the context click.
    connect(statusItem_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) menu_->menu()->popup(QCursor::pos());
    });

    connect(&windows, &WindowManager::windowStateChanged, this, &StatusBarManager::windowStateChanged);
    setVisible(settings_.appSettings().showMenuIcon);
}

StatusBarManager::~StatusBarManager() {
    if (liveInstance == this) liveInstance = nullptr;
}

StatusBarManager* StatusBarManager::shared() { return liveInstance; }

bool StatusBarManager::trayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void StatusBarManager::setVisible(bool visible) { statusItem_->setVisible(visible); }

void StatusBarManager::windowStateChanged() { setVisible(settings_.appSettings().showMenuIcon); }

}  // namespace gm::app
