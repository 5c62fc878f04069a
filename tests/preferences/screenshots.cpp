// Saves pictures of every preferences page and popup, in a light and a dark
// palette, for a person to look at: preferences_screenshots OUTPUT_DIR.
#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QStyle>
#include <QStyleFactory>
#include <cstdio>
#include <map>

#include "preferences/AdvancedView.h"
#include "preferences/BlockKeysView.h"
#include "preferences/ExceptionsView.h"
#include "preferences/PreferencesTabView.h"
#include "preferences/PreferencesTestSupport.h"
#include "platform/sim/SimDesktop.h"

namespace {

using namespace gm;
using namespace gm::preferences;

// Text, base and disabled colours follow from the dark window colour.
QPalette darkPalette() {
    QPalette p(QColor(0x3a, 0x3a, 0x3e), QColor(0x2b, 0x2b, 0x2e));
    p.setColor(QPalette::Base, QColor(0x1f, 0x1f, 0x22));
    p.setColor(QPalette::Highlight, QColor(0x2f, 0x7a, 0xe5));
    return p;
}

// Names for the exceptions' rows; the last is long, to see that it is cut well.
struct NamedApps final : AppInfoProvider {
    AppInfo info(const std::string& bundleId) const override {
        static const std::map<std::string, QString> names{
            {"org.example.WebBrowser.desktop", "Web Browser"}, {"org.example.Terminal.desktop", "Terminal"},
            {"org.example.LongNamedDrawingProgram.desktop", "A Drawing Program With A Very Long Name"}};
        auto it = names.find(bundleId);
        return {it == names.end() ? QString::fromStdString(bundleId) : it->second, genericApplicationIcon()};
    }
};

bool shoot(const QString& dir, const QString& theme, const QPalette& palette) {
    QApplication::setPalette(palette);
    bool ok = true;
    // Lets the widget settle, then saves its picture as <dir>/<theme>-<name>.png.
    auto save = [&](QWidget* widget, const char* name) {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
        const QString path = QStringLiteral("%1/%2-%3.png").arg(dir, theme, QLatin1String(name));
        const bool saved = widget->grab().save(path);
        std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
        ok &= saved;
    };

    // A browser with smoothing off, a terminal with numbers of its own, and a name too long for its row.
    using settings::ExceptionalApplication;
    settings::GlidemarkSettings s;
    s.appSettings.exceptionalApplication = {
        std::make_shared<ExceptionalApplication>("org.example.WebBrowser.desktop", settings::ScrollBase{.smooth = false},
                                                 settings::ScrollAdvanced{}, true),
        std::make_shared<ExceptionalApplication>("org.example.Terminal.desktop", settings::ScrollBase{},
                                                 settings::ScrollAdvanced{.step = 40, .duration = 250}, false),
        std::make_shared<ExceptionalApplication>("org.example.LongNamedDrawingProgram.desktop")};
    testing::SettingsFixture f(s);
    NamedApps apps;
    platform::sim::SimDesktop desktop;
    platform::ProcessID pid = 1000;
    for (const auto& [id, name] : {std::pair{"Nautilus", "Files"}, std::pair{"TextEditor", "Text Editor"},
                                   std::pair{"WebBrowser", "Web Browser"}, std::pair{"Calendar", "Calendar"}})
        desktop.simWorkspace().launch({pid++, std::string("org.example.") + id + ".desktop", name, {}, {}});
    PreferencesContext context;
    context.settingsManager = f.manager.get();
    context.workspace = &desktop.workspace();
    context.appInfo = &apps;

    PreferencesTabView view(context);
    view.show();
    save(&view, "general");
    view.setSelectionTab(PreferencesTab::advanced);
    save(&view, "advanced");
    BlockKeysView* keys = qobject_cast<AdvancedView*>(view.page())->blockKeys();
    keys->setShowPopover(true);
    save(keys->popover(), "block-keys-popover");
    keys->setShowPopover(false);

    view.setSelectionTab(PreferencesTab::exceptions);
    auto* exceptions = qobject_cast<ExceptionsView*>(view.page());
    exceptions->setSelectedApp("org.example.Terminal.desktop");
    save(&view, "exceptions");
    exceptions->setShowingPopover(true);
    save(exceptions->pickerPopover(), "picker");
    exceptions->setShowingPopover(false);
    for (const auto& [id, name] : {std::pair{"org.example.Terminal.desktop", "panel-own-values"},
                                   std::pair{"org.example.WebBrowser.desktop", "panel-inherited"}}) {
        ExceptionsAdvancedView* panel = exceptions->row(id)->advanced();
        panel->setShowPopover(true);
        save(panel->popover(), name);
        panel->setShowPopover(false);
    }
    view.setSelectionTab(PreferencesTab::updates);
    save(&view, "updates");
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(dir);
    bool ok = shoot(dir, QStringLiteral("light"), QApplication::style()->standardPalette());
    ok &= shoot(dir, QStringLiteral("dark"), darkPalette());
    return ok ? 0 : 1;
}
