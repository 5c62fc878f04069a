#include "app/LaunchAtLogin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>
#include <map>
#include <optional>

namespace gm::app {

namespace {

QString& programPathOverride() {
    static QString path;
    return path;
}

// Exec values are quoted as the desktop entry format asks: inside double
// quotes, backslash, quote, backtick and dollar are escaped; a literal
// percent sign is doubled, since % starts a field code.
QString quotedExec(const QString& program) {
    QString quoted;
    for (QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
        if (c == u'%') quoted += u'%';
        quoted += c;
    }
    return u'"' + quoted + u'"';
}

QByteArray entryText(const QString& program) {
    QString text;
    text += QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Name=Glidemark\n");
    text += QStringLiteral("Comment=Smooth scrolling for notched mouse wheels\n");
    text += QStringLiteral("Exec=") + quotedExec(program) + u'\n';
    text += QStringLiteral("Icon=glidemark\n");
    text += QStringLiteral("Terminal=false\n");
    // Listed in the desktop's startup-applications settings like any other
    // entry, so the user can switch it off there too.
    text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    // A tray icon needs the panel: desktops that can wait for it do.
    text += QStringLiteral("X-KDE-autostart-after=panel\n");
    text += QStringLiteral("X-LXQt-Need-Tray=true\n");
    return text.toUtf8();
}

void logFailure(const char* verb, const QString& reason) {
    LaunchAtLogin::logger().error(std::string("Failed to ") + verb + " launch at login: " + reason.toStdString());
}

bool writeEntry(const QString& program, QString& error) {
    const QString path = LaunchAtLogin::entryPath();
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir)) {
        error = QStringLiteral("cannot create the folder %1").arg(dir);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    file.write(entryText(program));
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

// The keys of the "[Desktop Entry]" group; none when the file is not a desktop entry.
std::optional<std::map<QString, QString>> readEntry(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return std::nullopt;
    std::map<QString, QString> keys;
    bool inEntry = false;
    bool sawEntry = false;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        if (line.startsWith(u'[')) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            sawEntry = sawEntry || inEntry;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (inEntry && equals > 0) keys[line.left(equals).trimmed()] = line.mid(equals + 1).trimmed();
    }
    if (!sawEntry) return std::nullopt;
    return keys;
}

bool removeEntry(QString& error) {
    QFile file(LaunchAtLogin::entryPath());
    if (!file.exists() || file.remove()) return true;
    error = file.errorString();
    return false;
}

}  // namespace

QString LaunchAtLogin::entryPath() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    // A relative XDG_CONFIG_HOME is to be ignored, as the XDG base directories rules ask.
    if (config.isEmpty() || QDir::isRelativePath(config)) config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/glidemark.desktop");
}

QString LaunchAtLogin::programPath() {
    if (!programPathOverride().isEmpty()) return programPathOverride();
    return QCoreApplication::applicationFilePath();
}

void LaunchAtLogin::setProgramPath(const QString& path) { programPathOverride() = path; }

bool LaunchAtLogin::isEnabled() {
    const auto entry = readEntry(entryPath());
    if (!entry) return false;
    auto value = [&](const char* key) {
        auto it = entry->find(QLatin1String(key));
        return it == entry->end() ? QString() : it->second;
    };
    // Desktops switch an entry off without deleting it in one of these two ways.
    if (value("Hidden") == QLatin1String("true")) return false;
    if (value("X-GNOME-Autostart-enabled") == QLatin1String("false")) return false;
    return !value("Exec").isEmpty();
}

void LaunchAtLogin::setEnabled(bool enabled) {
    QString error;
    if (enabled) {
        if (isEnabled()) {
            QString ignored;
            removeEntry(ignored);
        }
        if (!writeEntry(programPath(), error)) logFailure("enable", error);
    } else {
        if (!removeEntry(error)) logFailure("disable", error);
    }
    emit publisher().changed(enabled);
}

void LaunchAtLogin::followProgram(const QString& executable) {
    if (!isEnabled()) return;
    QString error;
    if (!writeEntry(executable, error)) logFailure("enable", error);
}

}  // namespace gm::app
