#pragma once
// Name and icon of an application for a bundle identifier. On Linux an
// application's bundle identifier is its desktop-entry id, and its name and
// icon come from that entry; the desktop-entry reader plugs in here.
#include <QIcon>
#include <QString>
#include <QStringList>
#include <string>

namespace gm::preferences {

struct AppInfo {
    QString name;
    QIcon icon;
};

class AppInfoProvider {
public:
    virtual ~AppInfoProvider() = default;
    // Never fails: an unknown application is named by its identifier and gets a generic icon.
    virtual AppInfo info(const std::string& bundleId) const;
};

// The generic application icon (the theme's, or our own symbol).
QIcon genericApplicationIcon();

// The desktop-entry id of a `.desktop` file found under one of the
// applications folders: its path below that folder with '/' turned into '-'
// (".../applications/utilities/console.desktop" is "utilities-console"), without the
// ".desktop" ending, as the running applications are named. A file
// outside those folders is known by its file name alone. Empty for a path
// that does not name a `.desktop` file.
std::string desktopEntryId(const QString& path, const QStringList& applicationDirs);

// The applications folders of the XDG data directories, the user's first.
QStringList applicationDirectories();

}  // namespace gm::preferences
