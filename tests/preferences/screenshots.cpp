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

namespace {

using namespace gm;
using namespace gm::preferences;

QPalette darkPalette() {
    QPalette p;
    const QColor text(0xe8, 0xe8, 0xea), button(0x3a, 0x3a, 0x3e), disabledText(0x80, 0x80, 0x86);
    const std::pair<QPalette::ColorRole, QColor> roles[] = {
        {QPalette::Window, QColor(0x2b, 0x2b, 0x2e)}, {QPalette::WindowText, text},
        {QPalette::Base, QColor(0x1f, 0x1f, 0x22)},   {QPalette::AlternateBase, QColor(0x33, 0x33, 0x37)},
        {QPalette::Text, text},                       {QPalette::Button, button},
        {QPalette::ButtonText, text},                 {QPalette::BrightText, Qt::white},
        {QPalette::Light, QColor(0x4a, 0x4a, 0x4f)},  {QPalette::Midlight, QColor(0x42, 0x42, 0x46)},
        {QPalette::Mid, QColor(0x55, 0x55, 0x5a)},    {QPalette::Dark, QColor(0x1a, 0x1a, 0x1c)},
        {QPalette::Shadow, Qt::black},                {QPalette::Highlight, QColor(0x2f, 0x7a, 0xe5)},
        {QPalette::HighlightedText, Qt::white},       {QPalette::ToolTipBase, button},
        {QPalette::ToolTipText, text},                {QPalette::PlaceholderText, disabledText},
        {QPalette::Link, QColor(0x5a, 0x9c, 0xf8)},
    };
    for (const auto& [role, colour] : roles) p.setColor(role, colour);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x55, 0x55, 0x5a));
    return p;
}

class NamedApps final : public AppInfoProvider {
public:
    AppInfo info(const std::string& bundleId) const override {
        auto it = names.find(bundleId);
        return {it == names.end() ? QString::fromStdString(bundleId) : it->second, genericApplicationIcon()};
    }
    std::map<std::string, QString> names{{"org.example.WebBrowser.desktop", "Web Browser"},
                                         {"org.example.Terminal.desktop", "Terminal"},
                                         {"org.example.LongNamedDrawingProgram.desktop", "A Drawing Program With A Very Long Name"},
                                         {"org.example.Nautilus.desktop", "Files"},
                                         {"org.example.TextEditor.desktop", "Text Editor"}};
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

    settings::GlidemarkSettings s;
    for (const char* id : {"org.example.WebBrowser.desktop", "org.example.Terminal.desktop",
                           "org.example.LongNamedDrawingProgram.desktop"})
        s.appSettings.exceptionalApplication.push_back(std::make_shared<settings::ExceptionalApplication>(id));
    testing::SettingsFixture f(s);
    // The manager holds its own objects, decoded from the stored document.
    const auto browser = f.manager->settings().appSettings.exceptionalApplication[0];
    const auto terminal = f.manager->settings().appSettings.exceptionalApplication[1];
    terminal->setScrollAdvanced(settings::ScrollAdvanced{.step = 40, .duration = 250});
    terminal->setInherit(false);
    auto base = browser->scrollBase();
    base.smooth = false;
    browser->setScrollBase(base);

    NamedApps apps;
    testing::FakeWorkspace workspace;
    for (const auto& [id, name] : {std::pair{"org.example.Nautilus.desktop", "Files"},
                                   std::pair{"org.example.TextEditor.desktop", "Text Editor"},
                                   std::pair{"org.example.WebBrowser.desktop", "Web Browser"},
                                   std::pair{"org.example.Calendar.desktop", "Calendar"}})
        workspace.add(testing::runningApp(id, name));

    PreferencesContext context;
    context.settingsManager = f.manager.get();
    context.workspace = &workspace;
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
