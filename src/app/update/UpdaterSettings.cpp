#include "app/update/UpdaterSettings.h"

#include <QDir>
#include <QStandardPaths>
#include <algorithm>

namespace gm::update {
namespace {
constexpr std::chrono::seconds kShortestInterval{60 * 60};
// A hand-edited interval of years would overflow the due date, which then
// made the checks come back to back; a month is as rare as checks get.
constexpr std::chrono::seconds kLongestInterval{30 * 24 * 60 * 60};
}  // namespace

UpdaterSettings::UpdaterSettings(const QString& path) : settings_(path, QSettings::IniFormat) {}

QString UpdaterSettings::defaultPath() {
    // GenericConfigLocation honours $XDG_CONFIG_HOME and falls back to ~/.config.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/glidemark/updater.ini");
}

bool UpdaterSettings::automaticallyChecks() const {
    return settings_.value(QStringLiteral("automaticallyChecksForUpdates"), true).toBool();
}
void UpdaterSettings::setAutomaticallyChecks(bool on) { write("automaticallyChecksForUpdates", on); }

bool UpdaterSettings::automaticallyDownloads() const {
    return settings_.value(QStringLiteral("automaticallyDownloadsUpdates"), false).toBool();
}
void UpdaterSettings::setAutomaticallyDownloads(bool on) { write("automaticallyDownloadsUpdates", on); }

std::chrono::seconds UpdaterSettings::checkInterval() const {
    bool ok = false;
    const qlonglong stored = settings_.value(QStringLiteral("updateCheckInterval")).toLongLong(&ok);
    if (!ok) return kDefaultCheckInterval;
    return std::clamp(std::chrono::seconds(stored), kShortestInterval, kLongestInterval);
}

std::optional<QDateTime> UpdaterSettings::firstLaunch() const { return date("firstLaunch"); }
void UpdaterSettings::setFirstLaunch(const QDateTime& when) { write("firstLaunch", when.toUTC().toString(Qt::ISODate)); }
std::optional<QDateTime> UpdaterSettings::lastCheck() const { return date("lastUpdateCheck"); }
void UpdaterSettings::setLastCheck(const QDateTime& when) { write("lastUpdateCheck", when.toUTC().toString(Qt::ISODate)); }

QString UpdaterSettings::skippedVersion() const { return settings_.value(QStringLiteral("skippedVersion")).toString(); }
void UpdaterSettings::setSkippedVersion(const QString& version) { write("skippedVersion", version); }

std::optional<QDateTime> UpdaterSettings::date(const char* key) const {
    const auto when = QDateTime::fromString(settings_.value(QLatin1String(key)).toString(), Qt::ISODate);
    if (!when.isValid()) return std::nullopt;
    return when;
}

void UpdaterSettings::write(const char* key, const QVariant& value) {
    QDir().mkpath(QFileInfo(settings_.fileName()).absolutePath());
    settings_.setValue(QLatin1String(key), value);
    settings_.sync();  // a crash right after a change must not lose it
}

}  // namespace gm::update
