// Saves pictures of every preferences page and popup, in a light and a dark
// palette, for a person to look at: preferences_screenshots OUTPUT_DIR.
#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
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
    const QColor window(0x2b, 0x2b, 0x2e), text(0xe8, 0xe8, 0xea), base(0x1f, 0x1f, 0x22), button(0x3a, 0x3a, 0x3e);
    const QColor disabledText(0x80, 0x80, 0x86);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(0x33, 0x33, 0x37));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Light, QColor(0x4a, 0x4a, 0x4f));
    p.setColor(QPalette::Midlight, QColor(0x42, 0x42, 0x46));
    p.setColor(QPalette::Mid, QColor(0x55, 0x55, 0x5a));
    p.setColor(QPalette::Dark, QColor(0x1a, 0x1a, 0x1c));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(0x2f, 0x7a, 0xe5));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, button);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabledText);
    p.setColor(QPalette::Link, QColor(0x5a, 0x9c, 0xf8));
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

bool save(const QPixmap& picture, const QString& dir, const QString& theme, const QString& name) {
    const QString path = dir + QLatin1Char('/') + theme + QLatin1Char('-') + name + QStringLiteral(".png");
    const bool ok = picture.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.toUtf8().constData());
    return ok;
}

bool shoot(const QString& dir, const QString& theme, const QPalette& palette) {
    QApplication::setPalette(palette);
    bool ok = true;

    settings::GlidemarkSettings s;
    auto browser = std::make_shared<settings::ExceptionalApplication>("org.example.WebBrowser.desktop");
    auto terminal = std::make_shared<settings::ExceptionalApplication>("org.example.Terminal.desktop");
    auto drawing = std::make_shared<settings::ExceptionalApplication>("org.example.LongNamedDrawingProgram.desktop");
    s.appSettings.exceptionalApplication = {browser, terminal, drawing};
    testing::SettingsFixture f(s);
    // The manager holds its own objects, decoded from the stored document.
    browser = f.manager->settings().appSettings.exceptionalApplication[0];
    terminal = f.manager->settings().appSettings.exceptionalApplication[1];
    auto own = terminal->scrollAdvanced();
    own.step = 40;
    own.duration = 250;
    terminal->setScrollAdvanced(own);
    terminal->setInherit(false);
    auto base = browser->scrollBase();
    base.smooth = false;
    browser->setScrollBase(base);

    NamedApps apps;
    testing::FakeWorkspace workspace;
    workspace.add(testing::runningApp("org.example.Nautilus.desktop", "Files"));
    workspace.add(testing::runningApp("org.example.TextEditor.desktop", "Text Editor"));
    workspace.add(testing::runningApp("org.example.WebBrowser.desktop", "Web Browser"));
    workspace.add(testing::runningApp("org.example.Calendar.desktop", "Calendar"));

    PreferencesContext context;
    context.settingsManager = f.manager.get();
    context.workspace = &workspace;
    context.appInfo = &apps;

    PreferencesTabView view(context);
    view.setWindowTitle(QStringLiteral("Glidemark Preferences"));
    view.show();
    settle();
    ok &= save(view.grab(), dir, theme, QStringLiteral("general"));

    view.setSelectionTab(PreferencesTab::advanced);
    settle();
    ok &= save(view.grab(), dir, theme, QStringLiteral("advanced"));
    auto* advanced = qobject_cast<AdvancedView*>(view.page());
    advanced->blockKeys()->setShowPopover(true);
    settle();
    ok &= save(advanced->blockKeys()->popover()->grab(), dir, theme, QStringLiteral("block-keys-popover"));
    advanced->blockKeys()->setShowPopover(false);

    view.setSelectionTab(PreferencesTab::exceptions);
    settle();
    auto* exceptions = qobject_cast<ExceptionsView*>(view.page());
    exceptions->setSelectedApp("org.example.Terminal.desktop");
    settle();
    ok &= save(view.grab(), dir, theme, QStringLiteral("exceptions"));
    exceptions->setShowingPopover(true);
    settle();
    ok &= save(exceptions->pickerPopover()->grab(), dir, theme, QStringLiteral("picker"));
    exceptions->setShowingPopover(false);

    for (const auto& [id, name] : {std::pair{"org.example.Terminal.desktop", "panel-own-values"},
                                   std::pair{"org.example.WebBrowser.desktop", "panel-inherited"}}) {
        ExceptionsAdvancedView* panel = exceptions->row(id)->advanced();
        panel->setShowPopover(true);
        settle();
        ok &= save(panel->popover()->grab(), dir, theme, QString::fromLatin1(name));
        panel->setShowPopover(false);
    }

    view.setSelectionTab(PreferencesTab::updates);
    settle();
    ok &= save(view.grab(), dir, theme, QStringLiteral("updates"));
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
