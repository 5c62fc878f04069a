#include "app/StatusBarManager.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <algorithm>

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
    // not only the context click (which the tray places itself).
    connect(statusItem_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) openMenuFromClick();
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

std::optional<QPoint> StatusBarManager::menuPosition(const QRect& icon, const QSize& menu, const QRect& screen) {
    if (!icon.isValid() || !screen.isValid()) return std::nullopt;
    // Below an icon in a top panel, above one in a bottom panel; starting at
    // the icon's left edge, or ending at its right edge near the screen's.
    const int y = icon.bottom() + menu.height() <= screen.bottom() ? icon.bottom() + 1 : icon.top() - menu.height();
    const int x = icon.left() + menu.width() - 1 <= screen.right() ? icon.left() : icon.right() + 1 - menu.width();
    return QPoint(std::max(x, screen.left()), std::max(y, screen.top()));
}

void StatusBarManager::openMenuFromClick() {
    QMenu* menu = menu_->menu();
    const QRect icon = statusItem_->geometry();
    const QScreen* screen = QGuiApplication::screenAt(icon.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (const auto where = menuPosition(icon, menu->sizeHint(), screen ? screen->geometry() : QRect())) {
        menu->popup(*where);
    } else if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        // A tray that draws the icon itself (a StatusNotifierItem host) does
        // not say where it is; on X11 the pointer that just clicked it does.
        menu->popup(QCursor::pos());
    }
    // Elsewhere (Wayland) no position known to this program would be right;
    // the tray opens the menu where it belongs on a right click.
}

}  // namespace gm::app
