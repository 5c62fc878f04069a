#include "app/LaunchAtLogin.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include "app/macos/LoginItem.h"
#include "app/macos/PropertyList.h"

// On macOS 13 and later the login item is the main application's service,
// which the user sees (and can switch off) under Login Items. Earlier systems
// have no such service for an application without a helper bundle, so a
// LaunchAgent in ~/Library/LaunchAgents starts the program instead.

namespace gm::app {

namespace {

constexpr int kEnabled = 1;

QString& programPathOverride() {
    static QString path;
    return path;
}

void logFailure(const char* verb, const std::string& reason) {
    LaunchAtLogin::logger().error(std::string("Failed to ") + verb + " launch at login: " + reason);
}

std::optional<std::string> writeAgent() {
    const auto plist = macos::launchAgentPlist(macos::bundleIdentifier(), LaunchAtLogin::programPath().toStdString());
    if (!plist) return std::string("the program's path cannot be written into a property list");
    const QString path = LaunchAtLogin::entryPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return std::string("cannot create ~/Library/LaunchAgents");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString().toStdString();
    file.write(plist->data(), static_cast<qint64>(plist->size()));
    if (!file.commit()) return file.errorString().toStdString();
    return std::nullopt;
}

std::optional<std::string> removeAgent() {
    QFile file(LaunchAtLogin::entryPath());
    if (!file.exists() || file.remove()) return std::nullopt;
    return file.errorString().toStdString();
}

}  // namespace

QString LaunchAtLogin::entryPath() {
    return QString::fromStdString(macos::launchAgentPath(macos::homeFolder(), macos::bundleIdentifier()));
}

QString LaunchAtLogin::programPath() {
    if (!programPathOverride().isEmpty()) return programPathOverride();
    return QString::fromStdString(macos::executablePath());
}

void LaunchAtLogin::setProgramPath(const QString& path) { programPathOverride() = path; }

bool LaunchAtLogin::isEnabled() {
    if (macos::loginItemServiceAvailable()) return macos::loginItemStatus() == kEnabled;
    return macos::launchAgentEnabled(entryPath().toStdString(), macos::bundleIdentifier());
}

void LaunchAtLogin::setEnabled(bool enabled) {
    std::optional<std::string> failure;
    if (macos::loginItemServiceAvailable()) {
        // Enabling always registers anew, so a registration of an older copy is replaced.
        if (enabled) {
            if (macos::loginItemStatus() == kEnabled) macos::unregisterLoginItem();
            failure = macos::registerLoginItem();
        } else {
            failure = macos::unregisterLoginItem();
        }
    } else {
        failure = enabled ? writeAgent() : removeAgent();
    }
    if (failure) logFailure(enabled ? "enable" : "disable", *failure);
    emit publisher().changed(enabled);
}

void LaunchAtLogin::followProgram(const QString& executable) {
    // The login item names the application, not a path: it follows by itself.
    if (macos::loginItemServiceAvailable() || !isEnabled()) return;
    const QString previous = programPathOverride();
    programPathOverride() = executable;
    if (const auto failure = writeAgent()) logFailure("enable", *failure);
    programPathOverride() = previous;
}

}  // namespace gm::app
