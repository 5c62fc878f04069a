#pragma once
// The program's permanent presence: a mouse icon in the system tray with the
// application menu. The icon follows the `showMenuIcon` setting; it is
// re-checked whenever a window of the registry opens or closes.
#include <QObject>
#include <QPoint>
#include <QRect>
#include <memory>
#include <optional>

#include "app/AppMenu.h"

class QSystemTrayIcon;

namespace gm::app {

class StatusBarManager : public QObject {
    Q_OBJECT
public:
    StatusBarManager(AppMenu::Dependencies menuDependencies, QObject* parent = nullptr);
    ~StatusBarManager() override;

    // The live instance (the application delegate owns it), or null.
    static StatusBarManager* shared();

    QSystemTrayIcon* statusItem() const { return statusItem_.get(); }
    AppMenu& menu() const { return *menu_; }
    // Whether the desktop offers a tray to put the icon in.
    static bool trayAvailable();

    // Shows or hides the tray icon at once (the preferences call this when
    // `showMenuIcon` changes).
    void setVisible(bool visible);

    // Where the menu opens for a plain click on the icon: beside the icon, on
    // whichever side of it the screen has room, as the tray's own menus open.
    // None when the tray does not say where the icon is.
    static std::optional<QPoint> menuPosition(const QRect& icon, const QSize& menu, const QRect& screen);

public slots:
    void windowStateChanged();

private:
    void openMenuFromClick();

    settings::SettingsManager& settings_;
    std::unique_ptr<AppMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> statusItem_;
};

}  // namespace gm::app
