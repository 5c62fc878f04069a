#include "preferences/AppInfo.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPalette>
#include <QStandardPaths>

#include "preferences/Symbols.h"
#include "preferences/Widgets.h"

namespace gm::preferences {

AppInfo AppInfoProvider::info(const std::string& bundleId) const {
    return {QString::fromStdString(bundleId), genericApplicationIcon()};
}

QIcon genericApplicationIcon() {
    QIcon themed = QIcon::fromTheme(QStringLiteral("application-x-executable"));
    if (!themed.isNull()) return themed;
    const QPalette palette = QApplication::palette();
    return symbolIcon("app", secondaryTextColor(palette), palette.color(QPalette::Disabled, QPalette::WindowText));
}

std::string desktopEntryId(const QString& path, const QStringList& applicationDirs) {
    const QFileInfo file(path);
    if (file.suffix() != QStringLiteral("desktop") || file.completeBaseName().isEmpty()) return {};
    const QString absolute = QDir::cleanPath(file.absoluteFilePath());
    for (const QString& dir : applicationDirs) {
        const QString base = QDir::cleanPath(QDir(dir).absolutePath()) + QLatin1Char('/');
        if (absolute.startsWith(base)) {
            QString relative = absolute.mid(base.size());
            relative.replace(QLatin1Char('/'), QLatin1Char('-'));
            relative.chop(8);  // ".desktop"
            return relative.toStdString();
        }
    }
    return file.completeBaseName().toStdString();
}

QStringList applicationDirectories() {
    return QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
}

}  // namespace gm::preferences
