// Saves pictures of every preferences page and popup, in a light and a dark
// palette, for a person to look at: preferences_screenshots OUTPUT_DIR.
#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QPalette>
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

QPalette darkPalette() {
    const QColor text(0xe8, 0xe8, 0xea), button(0x3a, 0x3a, 0x3e), disabled(0x80, 0x80, 0x86);
    QPalette p(button, QColor(0x2b, 0x2b, 0x2e));  // derives the shades of both
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::ToolTipText}) {
        p.setColor(role, text);
        p.setColor(QPalette::Disabled, role, disabled);
    }
    p.setColor(QPalette::Base, QColor(0x1f, 0x1f, 0x22));
    p.setColor(QPalette::AlternateBase, QColor(0x33, 0x33, 0x37));
    p.setColor(QPalette::Highlight, QColor(0x2f, 0x7a, 0xe5));
    p.setColor(QPalette::Link, QColor(0x5a, 0x9c, 0xf8));
    p.setColor(QPalette::PlaceholderText, disabled);
    return p;
}

// Names for the exceptions' rows; the last is long, to see that it is cut well.
class NamedApps final : public AppInfoProvider {
public:
    AppInfo info(const std::string& bundleId) const override {
        static const std::map<std::string, QString> names{
            {"org.example.WebBrowser.desktop", "Web Browser"}, {"org.example.Terminal.desktop", "Terminal"},
            {"org.example.LongNamedDrawingProgram.desktop", "A Drawing Program With A Very Long Name"}};
        auto it = names.find(bundleId);
        return {it == names.end() ? QString::fromStdString(bundleId) : it->second, genericApplicationIcon()};
    }
};

void settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

bool shoot(const QString& dir, const QString& theme, const QPalette& palette) {
    QApplication::setPalette(palette);
    bool ok = true;
    // Lets the widget settle, then saves its picture as <dir>/<theme>-<name>.png.
    auto save = [&](QWidget* widget, const char* name) {
        settle();
        const QString path = dir + QLatin1Char('/') + theme + QLatin1Char('-') + QLatin1String(name) + QStringLiteral(".png");
        const bool saved = widget->grab().save(path);
        std::printf("%s %s\n", saved ? "wrote" : "FAILED", path.toUtf8().constData());
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
    const std::pair<const char*, const char*> running[] = {
        {"Nautilus", "Files"}, {"TextEditor", "Text Editor"}, {"WebBrowser", "Web Browser"}, {"Calendar", "Calendar"}};
    platform::ProcessID pid = 1000;
    for (const auto& [id, name] : running)
        desktop.simWorkspace().launch({pid++, std::string("org.example.") + id + ".desktop", name, {}, {}});
    PreferencesContext context;
    context.settingsManager = f.manager.get();
    context.workspace = &desktop.workspace();
    context.appInfo = &apps;

    PreferencesTabView view(context);
    view.setWindowTitle(QStringLiteral("Glidemark Preferences"));
    view.show();
    save(&view, "general");

    view.setSelectionTab(PreferencesTab::advanced);
    save(&view, "advanced");
    auto* advanced = qobject_cast<AdvancedView*>(view.page());
    advanced->blockKeys()->setShowPopover(true);
    save(advanced->blockKeys()->popover(), "block-keys-popover");
    advanced->blockKeys()->setShowPopover(false);

    view.setSelectionTab(PreferencesTab::exceptions);
    settle();
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
