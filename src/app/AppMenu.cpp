#include "app/AppMenu.h"

#include <QAction>
#include <QMenu>
#include <algorithm>

#include "app/EngineControl.h"
#include "app/FrontmostAppTracker.h"
#include "app/WindowManager.h"
#include "app/update/UpdaterManager.h"
#include "settings/SettingsManager.h"

namespace gm::app {

namespace {

// A new exception switches smoothing off for its application and otherwise
// carries the ordinary scrolling values.
settings::ExceptionRef makeDisabledException(const std::string& bundleId) {
    settings::ScrollBase base;
    base.smooth = false;
    base.horizontalSmooth = true;
    base.reverse = false;
    base.animationEasing = true;
    return std::make_shared<settings::ExceptionalApplication>(bundleId, base, settings::ScrollAdvanced{}, true);
}

settings::ExceptionRef findException(const settings::AppSettings& app, const std::string& bundleId) {
    auto it = std::find_if(app.exceptionalApplication.begin(), app.exceptionalApplication.end(),
                           [&](const settings::ExceptionRef& entry) { return entry && entry->hasBundleId(bundleId); });
    return it == app.exceptionalApplication.end() ? nullptr : *it;
}

QString displayName(const platform::AppRef& app) {
    if (app && !app->localizedName.empty()) return QString::fromStdString(app->localizedName);
    if (app && app->bundleIdentifier && !app->bundleIdentifier->empty())
        return QString::fromStdString(*app->bundleIdentifier);
    return QStringLiteral("Unknown App");
}

}  // namespace

AppMenu::AppMenu(Dependencies dependencies, QObject* parent)
    : QObject(parent), deps_(std::move(dependencies)), menu_(std::make_unique<QMenu>()) {
    menu_->setObjectName(QStringLiteral("AppMenu"));
    aboutItem_ = addItem(QStringLiteral("About Glidemark"), QStringLiteral("about"), &AppMenu::showAboutWindow);
    menu_->addSeparator();
    preferencesItem_ =
        addItem(QStringLiteral("Preferences..."), QStringLiteral("Preferences"), &AppMenu::showPreferencesWindow);
    menu_->addSeparator();
    enableSmoothItem_ =
        addItem(QStringLiteral("Enable Smooth"), QStringLiteral("disableForAllApps"), &AppMenu::toggleDisableForAllApps, true);
    enableSmoothItem_->setChecked(deps_.settings.scrollBase().smooth);
    disableForAppItem_ = addItem(QStringLiteral("Disable for current app"), QStringLiteral("disableForCurrentApp"),
                                 &AppMenu::toggleDisableForCurrentApp, true);
    checkForUpdatesItem_ = addItem(QStringLiteral("Check for Updates\u2026"), QStringLiteral("checkForUpdates"),
                                   &AppMenu::checkForUpdates);
    // Built hidden; a build without an update feed could only fail the check.
    checkForUpdatesItem_->setVisible(deps_.updates != nullptr);
    menu_->addSeparator();
    quitItem_ = addItem(QStringLiteral("Quit Glidemark"), QStringLiteral("quit"), &AppMenu::quit);

    connect(menu_.get(), &QMenu::aboutToShow, this, &AppMenu::menuNeedsUpdate);
}

AppMenu::~AppMenu() = default;

QAction* AppMenu::addItem(const QString& title, const QString& identifier, void (AppMenu::*action)(),
                         bool checkable) {
    auto* item = new QAction(title, menu_.get());
    item->setObjectName(identifier);
    item->setCheckable(checkable);
    connect(item, &QAction::triggered, this, action);
    menu_->addAction(item);
    return item;
}

void AppMenu::showAboutWindow() {
    openAboutWindow(deps_.windows, deps_.content);
}

void AppMenu::showPreferencesWindow() {
    openPreferencesWindow(deps_.windows, deps_.content);
}

void AppMenu::menuNeedsUpdate() {
    const platform::AppRef app = deps_.frontmost.current();
    disableForAppItem_->setText(QStringLiteral("Disable for ") + displayName(app));
    bool disabled = false;
    if (app && app->bundleIdentifier) {
        if (auto entry = findException(deps_.settings.appSettings(), *app->bundleIdentifier))
            disabled = !entry->scrollBase().smooth;
    }
    disableForAppItem_->setChecked(disabled);
    enableSmoothItem_->setChecked(deps_.settings.scrollBase().smooth);
}

void AppMenu::toggleDisableForAllApps() {
    settings::ScrollBase base = deps_.settings.scrollBase();
    base.smooth = !base.smooth;
    deps_.settings.setScrollBase(base);

    const bool smooth = deps_.settings.scrollBase().smooth;
    if (smooth) {
        deps_.engine.start();
    } else {
        deps_.engine.end();
    }
    for (QAction* item : menu_->actions())
        if (item->objectName() == QLatin1String("disableForAllApps")) item->setChecked(smooth);
}

void AppMenu::toggleDisableForCurrentApp() {
    const platform::AppRef app = deps_.frontmost.current();
    if (!app || !app->bundleIdentifier || app->bundleIdentifier->empty()) return;
    const std::string& bundleId = *app->bundleIdentifier;

    settings::AppSettings appSettings = deps_.settings.appSettings();
    if (auto entry = findException(appSettings, bundleId)) {
        // Only this entry's switch changes; it keeps its place and its numbers.
        settings::ScrollBase base = entry->scrollBase();
        base.smooth = !base.smooth;
        entry->setScrollBase(base);
        // The entry's store hook saves already when the manager installed
        // one; saving here too keeps the change stored either way, and
        // announces nothing (the list itself did not change).
        deps_.settings.save();
        return;
    }
    appSettings.exceptionalApplication.insert(appSettings.exceptionalApplication.begin(),
                                              makeDisabledException(bundleId));
    deps_.settings.setAppSettings(std::move(appSettings));
}

void AppMenu::checkForUpdates() {
    if (deps_.updates) deps_.updates->checkForUpdates();
}

void AppMenu::quit() {
    deps_.windows.closeAll();
    if (deps_.terminate) deps_.terminate();
}

}  // namespace gm::app
