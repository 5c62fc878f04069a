#pragma once
// The on-demand windows the shell opens, with their identifiers and titles,
// and the content they show. The preferences pages and the About view are
// plugged in through `WindowContent`; until they are, a simple interim view
// stands in.
#include <QString>

#include "app/WindowManager.h"

namespace gm::app {

inline const QString kPreferencesWindowId = QStringLiteral("preferences");
inline const QString kPreferencesWindowTitle = QStringLiteral("Glidemark Preferences");
inline const QString kAboutWindowId = QStringLiteral("about");

struct WindowContent {
    WindowManager::ContentFactory preferences;
    WindowManager::ContentFactory about;

    // Interim views: the program's name and what the window will hold.
    static WindowContent interim();
};

void openPreferencesWindow(WindowManager& windows, const WindowContent& content);
void openAboutWindow(WindowManager& windows, const WindowContent& content);

}  // namespace gm::app
