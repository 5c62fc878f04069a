#pragma once
// The tray icon's menu: About, Preferences, the two smoothing switches, the
// update check (shown only by builds with an update feed) and Quit. Item identifiers are the actions' object
// names. Before each opening the per-application item is retitled for the
// application the user is working in and given its state.
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "app/WindowContent.h"

class QAction;
class QMenu;

namespace gm::settings {
class SettingsManager;
}
namespace gm::update {
class UpdaterManager;
}

namespace gm::app {

class EngineControl;
class FrontmostAppTracker;
class WindowManager;

class AppMenu : public QObject {
    Q_OBJECT
public:
    struct Dependencies {
        settings::SettingsManager& settings;
        EngineControl& engine;
        FrontmostAppTracker& frontmost;
        WindowManager& windows;
        // Null when the build has no update feed: there is nothing to check.
        update::UpdaterManager* updates;
        WindowContent content;
        // Ends the program; the quit item calls it after closing the windows.
        std::function<void()> terminate;
    };

    explicit AppMenu(Dependencies dependencies, QObject* parent = nullptr);
    ~AppMenu() override;

    QMenu* menu() const { return menu_.get(); }

    QAction* aboutItem() const { return aboutItem_; }
    QAction* preferencesItem() const { return preferencesItem_; }
    QAction* enableSmoothItem() const { return enableSmoothItem_; }
    QAction* disableForAppItem() const { return disableForAppItem_; }
    QAction* checkForUpdatesItem() const { return checkForUpdatesItem_; }
    QAction* quitItem() const { return quitItem_; }

public slots:
    void showAboutWindow();
    void showPreferencesWindow();
    void toggleDisableForAllApps();
    void toggleDisableForCurrentApp();
    void checkForUpdates();
    void quit();
    // Runs before each opening of the menu.
    void menuNeedsUpdate();

private:
    // Only the two switches show a check mark; the other items are plain commands.
    QAction* addItem(const QString& title, const QString& identifier, void (AppMenu::*action)(),
                     bool checkable = false);

    Dependencies deps_;
    std::unique_ptr<QMenu> menu_;
    QAction* aboutItem_ = nullptr;
    QAction* preferencesItem_ = nullptr;
    QAction* enableSmoothItem_ = nullptr;
    QAction* disableForAppItem_ = nullptr;
    QAction* checkForUpdatesItem_ = nullptr;
    QAction* quitItem_ = nullptr;
};

}  // namespace gm::app
