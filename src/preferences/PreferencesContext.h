#pragma once
// What the preferences pages need from the rest of the program. The shell
// fills it in; tests give their own.
#include <QString>
#include <functional>
#include <optional>

#include "platform/Services.h"
#include "preferences/AppInfo.h"
#include "settings/SettingsManager.h"

class QWidget;

namespace gm::preferences {

// The General tab's extra actions, which belong to the shell.
struct GeneralActions {
    // Registers or unregisters the program to start at login.
    std::function<void(bool)> setLaunchAtLogin;
    // Shows or hides the tray icon at once.
    std::function<void(bool)> setMenuIconVisible;
};

struct PreferencesContext {
    settings::SettingsManager* settingsManager = nullptr;  // required
    // Running applications for the exceptions picker; without it the picker offers only "Browse...".
    const platform::Workspace* workspace = nullptr;
    // Names and icons of applications; without it the default (identifier, generic icon).
    const AppInfoProvider* appInfo = nullptr;
    GeneralActions generalActions;
    // Asks the user for an application's `.desktop` file; nullopt when cancelled.
    // Without it a file dialog on the applications folders is shown.
    std::function<std::optional<QString>(QWidget* parent)> chooseApplicationFile;
    // A line over the exceptions list saying why they may not apply on this
    // desktop; empty: none shown.
    QString exceptionsNotice;
    // Builds the Updates page; without it (a build with no update feed) the
    // page only says where updates come from.
    std::function<QWidget*()> updatesPage;
};

}  // namespace gm::preferences
