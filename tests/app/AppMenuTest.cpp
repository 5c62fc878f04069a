// The tray menu: its items, the two smoothing switches, and what the icon shows.
#include <QMenu>
#include <QSystemTrayIcon>
#include <map>

#include "AppTestSupport.h"
#include "app/AppMenu.h"
#include "app/FrontmostAppTracker.h"
#include "app/StatusBarManager.h"
#include "app/PlatformChoice.h"
#include "platform/standin/StandInPlatform.h"
#include "preferences/GeneralView.h"
#include "preferences/PreferencesTabView.h"

namespace gm::app::test {
namespace {

constexpr platform::ProcessID kOwnPid = 4242;

class AppMenuTest : public ::testing::Test {
protected:
    AppMenuTest() : engine(access), tracker(workspace, kOwnPid) { access.trusted = true; }
    // Closed windows go later; they still refer to this test's settings.
    ~AppMenuTest() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    AppMenu::Dependencies dependencies() {
        return {settings.manager, engine, tracker, windows, nullptr, WindowContent::interim(),
                [this] { windowsOpenAtTermination = windows.count(), ++terminations; }};
    }

    std::vector<settings::ExceptionRef> exceptions() const {
        return settings.manager.appSettings().exceptionalApplication;
    }
    void addExceptions(const std::vector<settings::ExceptionRef>& entries) {
        settings::AppSettings app = settings.manager.appSettings();
        app.exceptionalApplication.insert(app.exceptionalApplication.end(), entries.begin(), entries.end());
        settings.manager.setAppSettings(app);
    }

    SettingsFixture settings;
    FakeWorkspace workspace;
    FakeInputAccess access;
    FakeEngine engine;
    FrontmostAppTracker tracker;
    WindowManager windows;
    int terminations = 0;
    int windowsOpenAtTermination = -1;
};

TEST_F(AppMenuTest, ItemsComeInOrderWithTheirTitlesIdentifiersAndStatesAndDoWhatTheySay) {
    AppMenu menu(dependencies());
    using Item = std::tuple<QString, QString, bool, bool>;  // title ("" for a separator), identifier, checked, visible
    const std::vector<Item> expected = {
        {"About Glidemark", "about", false, true}, {"", "", false, true}, {"Preferences...", "Preferences", false, true},
        {"", "", false, true}, {"Enable Smooth", "disableForAllApps", true, true},
        {"Disable for current app", "disableForCurrentApp", false, true},
        // This build has no update feed: a check could only fail.
        {"Check for Updates\u2026", "checkForUpdates", false, false}, {"", "", false, true},
        {"Quit Glidemark", "quit", false, true}};
    std::vector<Item> items;
    for (const QAction* item : menu.menu()->actions()) {
        EXPECT_EQ(item->isSeparator(), item->text().isEmpty());
        EXPECT_TRUE(item->shortcut().isEmpty());
        items.emplace_back(item->text(), item->objectName(), item->isChecked(), item->isVisible());
    }
    EXPECT_EQ(items, expected);
    EXPECT_EQ(menu.checkForUpdatesItem(), menu.menu()->actions().at(6));

    // "Enable Smooth" flips the global switch, which is stored, and the engine.
    engine.start();
    for (const bool on : {false, true}) {
        const int writes = settings.defaults.writeCount();
        menu.enableSmoothItem()->trigger();
        EXPECT_EQ(std::tuple(settings.manager.scrollBase().smooth, engine.isActive(), menu.enableSmoothItem()->isChecked()),
                  std::tuple(on, on, on));
        EXPECT_GT(settings.defaults.writeCount(), writes);
    }

    // Its windows open once per identifier, and Quit closes them first.
    menu.preferencesItem()->trigger();
    menu.preferencesItem()->trigger();
    menu.aboutItem()->trigger();
    ASSERT_EQ(windows.count(), 2);
    EXPECT_EQ(std::tuple(windows.window("preferences")->windowTitle(), windows.window("about")->windowTitle()),
              std::tuple("Glidemark Preferences", ""));
    menu.quitItem()->trigger();
    EXPECT_EQ(std::tuple(terminations, windowsOpenAtTermination), std::tuple(1, 0));
}

// The per-application item is titled for the application in front and flips its exception: a new one
// (first in the list, kept when switched back on), or an existing entry with its own values kept; without
// an identifiable application it changes nothing.
TEST_F(AppMenuTest, PerApplicationItemFollowsTheApplicationInFront) {
    settings::ScrollAdvanced custom;
    custom.step = 40.0;
    auto entry = std::make_shared<settings::ExceptionalApplication>(
        "org.kde.kate", settings::ScrollBase{true, false, true, false}, custom, false);
    addExceptions({std::make_shared<settings::ExceptionalApplication>("a.b"), entry});
    AppMenu menu(dependencies());
    auto titleWith = [&](platform::AppRef app) {
        workspace.activate(std::move(app));
        emit menu.menu()->aboutToShow();
        return menu.disableForAppItem()->text();
    };
    EXPECT_EQ(titleWith(makeApp(100, "org.mozilla.firefox", "Firefox")), "Disable for Firefox");
    settings::ExceptionRef created;
    for (const bool disabled : {true, false}) {
        emit menu.menu()->aboutToShow();
        EXPECT_EQ(menu.disableForAppItem()->isChecked(), !disabled);
        const int writes = settings.defaults.writeCount();
        menu.disableForAppItem()->trigger();
        EXPECT_GT(settings.defaults.writeCount(), writes);
        const auto list = exceptions();
        ASSERT_EQ(list.size(), 3U);
        EXPECT_EQ(list.front(), created ? created : (created = list.front()));
        const auto f = list.front()->fields();
        EXPECT_EQ(std::tie(f.bundleId, f.scrollBase, f.scrollAdvanced, f.inherit),
                  std::tuple("org.mozilla.firefox", settings::ScrollBase{!disabled, true, false, true}, settings::ScrollAdvanced{}, true));
        EXPECT_EQ(list.back(), entry);
    }
    EXPECT_EQ(titleWith(makeApp(101, "org.gnome.Terminal", "")), "Disable for org.gnome.Terminal");
    EXPECT_EQ(titleWith(makeApp(103, "org.kde.kate", "Kate")), "Disable for Kate");
    // Opening our own menu may put us in front; the item stays with the user's application.
    EXPECT_EQ(titleWith(makeApp(kOwnPid, "com.Pellmar.Glidemark", "Glidemark")), "Disable for Kate");
    menu.disableForAppItem()->trigger();
    EXPECT_EQ(exceptions().size(), 3U);
    EXPECT_EQ(entry->scrollBase(), (settings::ScrollBase{false, false, true, false}));
    EXPECT_EQ(entry->scrollAdvanced(), custom);
    EXPECT_FALSE(entry->inherit());

    const int writes = settings.defaults.writeCount();
    for (platform::AppRef app : {platform::AppRef{}, makeApp(102, std::nullopt, "")}) {
        EXPECT_EQ(titleWith(app), "Disable for Unknown App");
        menu.disableForAppItem()->trigger();
    }
    EXPECT_EQ(exceptions().size(), 3U);
    EXPECT_EQ(settings.defaults.writeCount(), writes);
}

// The preferences as the program wires them: the tray icon's switch acts at once, and the
// window takes the height of each page.
TEST_F(AppMenuTest, TrayIconFollowsShowMenuIconAndThePreferencesEachPagesHeight) {
    settings::AppSettings app = settings.manager.appSettings();
    app.showMenuIcon = false;
    settings.manager.setAppSettings(app);
    StatusBarManager bar(dependencies());
    EXPECT_TRUE(!bar.statusItem()->isVisible() && !bar.statusItem()->icon().isNull());
    EXPECT_EQ(bar.statusItem()->contextMenu(), bar.menu().menu());

    platform::standin::StandInPlatform platform;
    openPreferencesWindow(windows, makeWindowContent(platform, settings.manager));
    CustomWindow* window = windows.window("preferences");
    auto* general = window->findChild<preferences::GeneralView*>();
    ASSERT_NE(general, nullptr);
    preferences::SwitchButton* toggle = general->switchButton(preferences::GeneralView::showMenuIcon);
#ifdef Q_OS_MACOS
    EXPECT_EQ(toggle->text(), "Show menu bar icon");
#else
    EXPECT_EQ(toggle->text(), "Show tray icon");
#endif
    for (bool shown : {true, false, true}) {
        toggle->click();
        EXPECT_EQ(bar.statusItem()->isVisible(), shown);
    }

    using Tab = preferences::PreferencesTab;
    auto* tabs = window->findChild<preferences::PreferencesTabView*>();
    std::map<Tab, int> heights;
    for (auto tab : {Tab::advanced, Tab::updates, Tab::general}) {
        tabs->tabButton(tab)->click();
        QApplication::processEvents();
        EXPECT_EQ(window->size(), tabs->sizeHint()) << preferences::title(tab);
        heights[tab] = window->height();
    }
    EXPECT_GT(heights[Tab::advanced], heights[Tab::general]);
    EXPECT_LT(heights[Tab::updates], heights[Tab::general]);

    // Any window opening or closing brings the icon back in line with the setting.
    bar.setVisible(false);
    windows.closeAll();
    EXPECT_TRUE(bar.statusItem()->isVisible());
}

TEST_F(AppMenuTest, AClickOnTheIconOpensTheMenuBesideIt) {
    const QRect screen(0, 0, 1280, 800);
    const QSize menu(200, 150);
    EXPECT_EQ(StatusBarManager::menuPosition({1256, 0, 24, 24}, menu, screen), QPoint(1080, 24));  // top right
    EXPECT_EQ(StatusBarManager::menuPosition({100, 776, 24, 24}, menu, screen), QPoint(100, 626));  // bottom left
    // A tray that draws the icon itself does not say where it is.
    EXPECT_EQ(StatusBarManager::menuPosition({}, menu, screen), std::nullopt);
}

}  // namespace
}  // namespace gm::app::test
