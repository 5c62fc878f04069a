#pragma once
// The updater's own preferences and bookkeeping, kept apart from Glidemark's settings document
// in $XDG_CONFIG_HOME/glidemark/updater.ini.
#include <QDateTime>
#include <QSettings>
#include <QString>
#include <chrono>
#include <optional>

namespace gm::update {

inline constexpr std::chrono::seconds kDefaultCheckInterval{24 * 60 * 60};

class UpdaterSettings {
public:
    explicit UpdaterSettings(const QString& path = defaultPath());
    static QString defaultPath();

    bool automaticallyChecks() const;  // default on
    void setAutomaticallyChecks(bool on);
    bool automaticallyDownloads() const;  // default off
    void setAutomaticallyDownloads(bool on);
    std::chrono::seconds checkInterval() const;  // default one day; from one hour to 30 days
    std::optional<QDateTime> firstLaunch() const;
    void setFirstLaunch(const QDateTime& when);
    std::optional<QDateTime> lastCheck() const;
    void setLastCheck(const QDateTime& when);
    QString skippedVersion() const;
    void setSkippedVersion(const QString& version);
    QString path() const { return settings_.fileName(); }

private:
    std::optional<QDateTime> date(const char* key) const;
    void write(const char* key, const QVariant& value);
    QSettings settings_;
};

}  // namespace gm::update
