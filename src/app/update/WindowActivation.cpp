#include "app/update/WindowActivation.h"

#include <QGuiApplication>
#include <QWidget>
#include <utility>

namespace gm::update {

namespace {

constexpr qsizetype kLongestToken = 512;

QString& pending() {
    static QString token;
    return token;
}

}  // namespace

void setPendingActivationToken(const QString& token) { pending() = isUsableActivationToken(token) ? token : QString(); }

QString pendingActivationToken() { return pending(); }

bool isUsableActivationToken(const QString& token) {
    if (token.isEmpty() || token.size() > kLongestToken) return false;
    for (const QChar c : token)
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7f) return false;
    return true;
}

void bringWindowForward(QWidget& window) {
    window.show();
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.raise();
    const QString token = std::exchange(pending(), QString());
    // Qt's Wayland integration presents the token it finds in the environment
    // when asked to activate a window, and takes it out again; where it does
    // not, the variable must not be left for programs started later.
    const bool present = !token.isEmpty() && QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    if (present) qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    window.activateWindow();
    if (present) qunsetenv("XDG_ACTIVATION_TOKEN");
}

}  // namespace gm::update
