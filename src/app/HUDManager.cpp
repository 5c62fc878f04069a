#include "app/HUDManager.h"

#include <QGuiApplication>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/HUDView.h"
#include "platform/Log.h"

namespace gm::app {

namespace {

HUDManager* liveInstance = nullptr;

int milliseconds(double seconds) { return static_cast<int>(std::lround(std::max(0.0, seconds) * 1000.0)); }

// The window's opacity animates to `target`; the animation belongs to the window.
QPropertyAnimation* fade(QWidget& window, double seconds, double target) {
    auto* animation = new QPropertyAnimation(&window, "windowOpacity", &window);
    animation->setDuration(milliseconds(seconds));
    animation->setEndValue(target);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
    return animation;
}

}  // namespace

HUDManager::HUDManager(QObject* parent) : QObject(parent) {
    liveInstance = this;
    platform::log().info("Module initialized: HUDManager");
}

HUDManager::~HUDManager() {
    if (liveInstance == this) liveInstance = nullptr;
    const std::set<QWidget*> left = std::move(overlays_);
    overlays_.clear();
    window_ = nullptr;
    for (QWidget* overlay : left) {
        disconnect(overlay, nullptr, this, nullptr);
        delete overlay;
    }
}

HUDManager* HUDManager::shared() { return liveInstance; }

void HUDManager::show(const QString& message, const std::optional<QString>& systemImage, double duration,
                      double size) {
    const int side = static_cast<int>(std::lround(size));
    // Click-through, never focused, above other windows, and kept out of
    // the taskbar and the window switcher.
    auto* window = new QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                            Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus |
                                            Qt::NoDropShadowWindowHint);
    window->setObjectName(QStringLiteral("hud"));
    window->setAttribute(Qt::WA_TranslucentBackground);
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->setAttribute(Qt::WA_TransparentForMouseEvents);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setFixedSize(side, side);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new HUDView(message, systemImage));

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const double x = area.x() + area.width() * 0.5 - size * 0.5;
        const double y = area.y() + area.height() * 0.5 - size * 0.5;
        window->move(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
    }

    window->setWindowOpacity(0.0);
    window->show();
    window->raise();
    window_ = window;
    overlays_.insert(window);
    connect(window, &QObject::destroyed, this, [this, window] {
        overlays_.erase(window);
        if (window_ == window) window_ = nullptr;
    });
    fade(*window, timings_.fadeIn, 1.0);

    // The timer and the animations belong to this overlay alone (a newer
    // overlay has its own), and die with it; the manager outlives every
    // overlay, since it closes those left when it goes.
    QTimer::singleShot(milliseconds(duration), window, [this, window, fadeOut = timings_.fadeOut] {
        QPropertyAnimation* out = fade(*window, fadeOut, 0.0);
        connect(out, &QPropertyAnimation::finished, window, [this, window] {
            if (window_ == window) window_ = nullptr;
            window->close();
            emit overlayClosed(window);
        });
    });
}

}  // namespace gm::app

