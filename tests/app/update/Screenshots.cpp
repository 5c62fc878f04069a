// Saves pictures of the update window, the Updates tab and the About window into the folder
// given as the first argument, so a person can look at what users will see.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "app/update/AboutView.h"
#include "app/update/StandardUserDriver.h"
#include "app/update/UpdateWindow.h"
#include "app/update/Updater.h"
#include "app/update/UpdatesView.h"

namespace {

bool save(QWidget& widget, const QString& path) {
    widget.show();
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
    const bool ok = widget.grab().save(path);
    std::printf("%s %s\n", ok ? "saved" : "could not save", qPrintable(path));
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(dir);
    using namespace gm::update;
    bool ok = true;

    UpdateItem item;
    item.version = QStringLiteral("1.3.0");
    item.displayVersion = QStringLiteral("1.3");
    item.length = 4'718'592;
    item.releaseNotes = QStringLiteral(
        "<h3>Glidemark 1.3</h3><ul><li>Smoother acceleration for quick successive wheel ticks.</li>"
        "<li>Per-application exceptions can now be reordered.</li>"
        "<li>Fixed: horizontal smoothing stopped after switching keyboard layouts.</li></ul>");
    UpdateWindow window;
    window.showUpdate(item, QStringLiteral("0.1.0"));
    ok &= save(window, dir + QStringLiteral("/update-window.png"));
    window.showDownloading(item);
    window.setProgress(1'887'437, item.length);
    ok &= save(window, dir + QStringLiteral("/update-window-downloading.png"));
    window.showReady(item, QStringLiteral("/home/user/Downloads/Glidemark-1.3.tar.gz"));
    ok &= save(window, dir + QStringLiteral("/update-window-ready.png"));
    window.showMessage(QStringLiteral("You're up to date!"),
                       QStringLiteral("Glidemark 0.1.0 is the latest version."));
    ok &= save(window, dir + QStringLiteral("/update-window-up-to-date.png"));
    window.hide();

    QTemporaryDir config;
    StandardUserDriver driver(nullptr);
    UpdaterOptions options;
    options.currentVersion = QStringLiteral("0.1.0");
    options.settingsPath = config.path() + QStringLiteral("/updater.ini");
    Updater updater(std::move(options), driver, nullptr);
    QWidget tab;
    tab.setWindowTitle(QStringLiteral("Updates"));
    auto* view = new UpdatesView(updater, &tab);
    view->move(10, 10);
    tab.setFixedSize(440, view->sizeHint().height() + 20);
    ok &= save(tab, dir + QStringLiteral("/updates-tab.png"));

    AboutView about;
    ok &= save(about, dir + QStringLiteral("/about-window.png"));
    return ok ? 0 : 1;
}
