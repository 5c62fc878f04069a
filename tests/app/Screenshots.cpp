// Draws the tray menu, the HUD, both alerts, the tray icon and the interim
// preferences window on a real (virtual) X server and saves them as PNG files
// in the folder given as the only argument.
#include <QApplication>
#include <QDir>
#include <QLinearGradient>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>
#include <cstdio>

#include "app/AppMenu.h"
#include "app/Artwork.h"
#include "app/EngineControl.h"
#include "app/FrontmostAppTracker.h"
#include "app/HUDManager.h"
#include "app/Utils.h"
#include "app/WindowContent.h"
#include "app/WindowManager.h"
#include "platform/UserDefaults.h"
#include "settings/SettingsManager.h"

namespace {

using namespace gm;

class OneAppWorkspace final : public platform::Workspace {
public:
    platform::AppRef front = [] {
        auto app = std::make_shared<platform::RunningApplication>();
        app->processIdentifier = 1234;
        app->bundleIdentifier = "org.mozilla.firefox";
        app->localizedName = "Firefox";
        return app;
    }();
    platform::AppRef applicationWithProcessIdentifier(platform::ProcessID) const override { return nullptr; }
    platform::AppRef applicationWithBundleIdentifier(std::string_view) const override { return nullptr; }
    std::vector<platform::AppRef> runningApplications() const override { return {front}; }
    platform::AppRef frontmostApplication() const override { return front; }
    std::unique_ptr<platform::Subscription> observeActivations(std::function<void()>) override {
        return std::make_unique<platform::Subscription>();
    }
    bool onScreenWindows(std::vector<platform::WindowInfo>&) const override { return false; }
    std::optional<std::string> mainBundleIdentifier() const override { return "com.Pellmar.Glidemark"; }
};

class Clock final : public platform::Clock {
public:
    double mediaTime() const override { return 0; }
    double wallTime() const override { return 0; }
};

class IdleEngine final : public app::EngineControl {
public:
    void start() override { active = true; }
    void end() override { active = false; }
    bool isActive() const override { return active; }
    bool active = true;
};

void settle(int ms = 150) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool save(const QPixmap& pixmap, const QString& path) {
    const bool ok = pixmap.save(path);
    std::printf("%s %s (%dx%d)\n", ok ? "saved" : "FAILED", qPrintable(path), pixmap.width(), pixmap.height());
    return ok;
}

// A desktop-like backdrop with a window edge, so the HUD's translucency shows.
QPixmap backdrop(QSize size) {
    QPixmap image(size);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor(0x3a, 0x6e, 0xa5));
    gradient.setColorAt(1, QColor(0x8e, 0x5b, 0x9e));
    painter.fillRect(image.rect(), gradient);
    painter.fillRect(QRect(0, 0, size.width() / 2, size.height()), QColor(250, 250, 250));
    painter.setPen(QColor(60, 60, 60));
    for (int y = 20; y < size.height(); y += 22) painter.drawText(12, y, QStringLiteral("Lorem ipsum dolor sit amet"));
    return image;
}

QPixmap onBackdrop(const QPixmap& overlay) {
    QPixmap image = backdrop(overlay.size() / overlay.devicePixelRatio());
    QPainter painter(&image);
    painter.drawPixmap(0, 0, overlay);
    return image;
}

// The tray symbol at tray sizes on a light and on a dark panel.
QPixmap trayIconStrip() {
    const int sides[] = {16, 22, 24, 32};
    QPixmap strip(2 * (16 + 22 + 24 + 32 + 5 * 12), 48);
    strip.fill(Qt::transparent);
    QPainter painter(&strip);
    const int half = strip.width() / 2;
    painter.fillRect(QRect(0, 0, half, 48), QColor(0xf0, 0xf0, 0xf0));
    painter.fillRect(QRect(half, 0, half, 48), QColor(0x22, 0x22, 0x26));
    for (int panel = 0; panel < 2; ++panel) {
        int x = panel * half + 12;
        for (int side : sides) {
            painter.drawPixmap(x, (48 - side) / 2, app::artwork::pixmap(app::artwork::kMenuMouse, QSize(side, side)));
            x += side + 12;
        }
    }
    return strip;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Glidemark"));
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(folder);
    bool ok = true;

    platform::MemoryUserDefaults defaults;
    Clock clock;
    settings::SettingsManager settingsManager(defaults, platform::log(), clock);
    OneAppWorkspace workspace;
    IdleEngine engine;
    app::FrontmostAppTracker tracker(workspace, 1);
    app::WindowManager windows;
    app::AppMenu menu({settingsManager, engine, tracker, windows, nullptr,
                       app::WindowContent::interim(), [] {}});

    for (const char* name : {"/menu.png", "/menu-disabled-for-app.png"}) {
        menu.menu()->popup(QPoint(200, 120));
        settle();
        ok &= save(menu.menu()->grab(), folder + name);
        menu.menu()->hide();
        menu.toggleDisableForCurrentApp();
    }

    // The HUD takes the desktop's colours; with a dark theme it turns dark.
    app::HUDManager hud;
    const QPalette light = QApplication::palette();
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2e));
    dark.setColor(QPalette::WindowText, QColor(0xf2, 0xf2, 0xf2));
    for (const auto& [name, palette] : {std::pair{"/hud.png", light}, std::pair{"/hud-dark.png", dark}}) {
        QApplication::setPalette(palette);
        hud.show(QStringLiteral("Glidemark enabled"), std::nullopt, 30.0, 300.0);
        settle(500);
        QWidget* overlay = hud.window();
        ok &= overlay && save(onBackdrop(overlay->grab()), folder + name);
    }
    QApplication::setPalette(light);

    for (const auto& [name, alert] : {std::pair{QStringLiteral("alert-permission-required"), app::Utils::accessibilityAlert()},
                                      std::pair{QStringLiteral("alert-well-done"), app::Utils::permissionGrantedAlert()}}) {
        auto box = app::makeMessageBox(alert);
        box->show();
        settle();
        ok &= save(box->grab(), folder + "/" + name + ".png");
        box->hide();
    }

    ok &= save(trayIconStrip(), folder + "/tray-icon.png");

    app::openPreferencesWindow(windows, app::WindowContent::interim());
    settle();
    if (QWidget* window = windows.window(app::kPreferencesWindowId)) ok &= save(window->grab(), folder + "/preferences.png");
    windows.closeAll();
    return ok ? 0 : 1;
}
