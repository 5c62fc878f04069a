// Draws what users will see (the tray menu, the HUD, the alerts, the tray icon,
// the preferences, the update window, the Updates tab and the About window) on a
// real (virtual) X server, and saves the pictures as PNG files in the folder
// given as the only argument, for a person to look at.
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <cstdio>

#include "AppTestSupport.h"
#include "app/AppMenu.h"
#include "app/Artwork.h"
#include "app/FrontmostAppTracker.h"
#include "app/HUDManager.h"
#include "app/Utils.h"
#include "app/WindowContent.h"
#include "app/WindowManager.h"
#include "app/update/AboutView.h"
#include "app/update/StandardUserDriver.h"
#include "app/update/UpdateWindow.h"
#include "app/update/UpdatesView.h"

namespace {

using namespace gm;
QString folder;

bool save(const QPixmap& pixmap, const char* name) {
    const QString path = folder + '/' + name + ".png";
    const bool ok = pixmap.save(path);
    std::printf("%s %s (%dx%d)\n", ok ? "saved" : "FAILED", qPrintable(path), pixmap.width(), pixmap.height());
    return ok;
}

bool save(QWidget& widget, const char* name) {
    widget.show();
    QTest::qWait(150);
    return save(widget.grab(), name);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Glidemark"));
    folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(folder);
    bool ok = true;

    app::test::SettingsFixture settings;
    app::test::FakeWorkspace workspace;
    workspace.front = app::test::makeApp(1234, "org.mozilla.firefox", "Firefox");
    app::test::FakeInputAccess access;
    app::test::FakeEngine engine(access);
    app::FrontmostAppTracker tracker(workspace, 1);
    app::WindowManager windows;
    app::AppMenu menu({settings.manager, engine, tracker, windows, nullptr, app::WindowContent::interim(), [] {}});
    for (const char* name : {"menu", "menu-disabled-for-app"}) {
        menu.menu()->popup(QPoint(200, 120));
        QTest::qWait(150);
        ok &= save(menu.menu()->grab(), name);
        menu.menu()->hide();
        menu.toggleDisableForCurrentApp();
    }

    app::HUDManager hud;
    hud.show(QStringLiteral("Glidemark enabled"), std::nullopt, 30.0, 300.0);
    QTest::qWait(500);
    ok &= hud.window() && save(hud.window()->grab(), "hud");

    for (const auto& [name, alert] : {std::pair{"alert-permission-required", app::Utils::accessibilityAlert()},
                                      std::pair{"alert-well-done", app::Utils::permissionGrantedAlert()}})
        ok &= save(*app::makeMessageBox(alert), name);
    ok &= save(app::artwork::pixmap(app::artwork::kMenuMouse, QSize(22, 22)), "tray-icon");

    using namespace gm::update;
    UpdateItem item;
    item.version = QStringLiteral("1.3.0");
    item.displayVersion = QStringLiteral("1.3");
    item.length = 4'718'592;
    item.releaseNotes = QStringLiteral("<h3>Glidemark 1.3</h3><ul><li>Smoother acceleration for quick wheel ticks.</li>"
                                       "<li>Fixed: horizontal smoothing stopped after switching layouts.</li></ul>");
    UpdateWindow window;
    window.showUpdate(item, QStringLiteral("0.1.0"));
    ok &= save(window, "update-window");
    window.showDownloading(item);
    window.setProgress(1'887'437, item.length);
    ok &= save(window, "update-window-downloading");
    QTemporaryDir config;
    StandardUserDriver driver(nullptr);
    UpdaterOptions options;
    options.currentVersion = QStringLiteral("0.1.0");
    options.settingsPath = config.path() + QStringLiteral("/updater.ini");
    Updater updater(std::move(options), driver, nullptr);
    UpdatesView tab(updater);
    ok &= save(tab, "updates-tab");
    AboutView about;
    ok &= save(about, "about-window");
    return ok ? 0 : 1;
}
