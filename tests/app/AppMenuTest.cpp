// The tray menu: its items, the two smoothing switches, and what the icon shows.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>
#include <map>

#include "AppTestSupport.h"
#include "app/AppMenu.h"
#include "app/FrontmostAppTracker.h"
#include "app/StatusBarManager.h"
#include "app/PlatformChoice.h"
#include "app/WindowManager.h"
#include "platform/standin/StandInPlatform.h"
#include "preferences/GeneralView.h"
#include "preferences/PreferencesTabView.h"
#include "preferences/Widgets.h"

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
                [this] {
                    windowsOpenAtTermination = windows.count();
                    ++terminations;
                }};
    }

    std::vector<settings::ExceptionRef> exceptions() const {
        return settings.manager.appSettings().exceptionalApplication;
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

TEST_F(AppMenuTest, ItemsComeInOrderWithTheirTitlesIdentifiersAndStates) {
    AppMenu menu(dependencies());
    struct Expected {
        const char* title;  // nullptr: a separator
        const char* identifier;
        bool checked;
        bool visible = true;
    };
    const std::vector<Expected> expected = {
        {"About Glidemark", "about", false},       {nullptr, nullptr, false},
        {"Preferences...", "Preferences", false},  {nullptr, nullptr, false},
        {"Enable Smooth", "disableForAllApps", true}, {"Disable for current app", "disableForCurrentApp", false},
        // This build has no update feed: a check could only fail.
        {"Check for Updates\u2026", "checkForUpdates", false, false}, {nullptr, nullptr, false},
        {"Quit Glidemark", "quit", false},
    };
    const QList<QAction*> items = menu.menu()->actions();
    ASSERT_EQ(items.size(), static_cast<qsizetype>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        const QAction* item = items.at(static_cast<qsizetype>(i));
        SCOPED_TRACE(i);
        EXPECT_EQ(item->isSeparator(), !expected[i].title);
        if (!expected[i].title) continue;
        EXPECT_EQ(item->text(), QString::fromUtf8(expected[i].title));
        EXPECT_EQ(item->objectName(), QString::fromUtf8(expected[i].identifier));
        EXPECT_EQ(item->isChecked(), expected[i].checked);
        EXPECT_EQ(item->isVisible(), expected[i].visible);
        EXPECT_TRUE(item->shortcut().isEmpty());
    }
    EXPECT_EQ(menu.checkForUpdatesItem(), items.at(6));
}

TEST_F(AppMenuTest, EnableSmoothFlipsTheGlobalSwitchAndTheEngine) {
    AppMenu menu(dependencies());
    engine.start();
    ASSERT_TRUE(engine.isActive());

    menu.enableSmoothItem()->trigger();
    EXPECT_FALSE(settings.manager.scrollBase().smooth);
    EXPECT_FALSE(engine.isActive());
    EXPECT_FALSE(menu.enableSmoothItem()->isChecked());
    const int storedAfterFirst = settings.defaults.writeCount();
    EXPECT_GE(storedAfterFirst, 1);

    menu.enableSmoothItem()->trigger();
    EXPECT_TRUE(settings.manager.scrollBase().smooth);
    EXPECT_TRUE(engine.isActive());
    EXPECT_TRUE(menu.enableSmoothItem()->isChecked());
    EXPECT_GT(settings.defaults.writeCount(), storedAfterFirst);
}

TEST_F(AppMenuTest, PerApplicationItemIsTitledForTheApplicationInFront) {
    AppMenu menu(dependencies());
    auto titleWith = [&](platform::AppRef app) {
        workspace.activate(std::move(app));
        emit menu.menu()->aboutToShow();
        return menu.disableForAppItem()->text();
    };
    EXPECT_EQ(titleWith(makeApp(100, "org.mozilla.firefox", "Firefox")), "Disable for Firefox");
    EXPECT_EQ(titleWith(makeApp(101, "org.gnome.Terminal", "")), "Disable for org.gnome.Terminal");
    EXPECT_EQ(titleWith(makeApp(102, std::nullopt, "")), "Disable for Unknown App");
    EXPECT_EQ(titleWith(nullptr), "Disable for Unknown App");
    // Opening our own menu may put us in front; the title stays with the user's application.
    workspace.activate(makeApp(103, "org.kde.kate", "Kate"));
    EXPECT_EQ(titleWith(makeApp(kOwnPid, "com.Pellmar.Glidemark", "Glidemark")), "Disable for Kate");
}

TEST_F(AppMenuTest, DisablingForTheFrontApplicationCreatesThenFlipsItsException) {
    auto older = std::make_shared<settings::ExceptionalApplication>("org.gnome.gedit");
    settings::AppSettings app = settings.manager.appSettings();
    app.exceptionalApplication.push_back(older);
    settings.manager.setAppSettings(app);
    AppMenu menu(dependencies());
    workspace.activate(makeApp(100, "org.mozilla.firefox", "Firefox"));

    emit menu.menu()->aboutToShow();
    EXPECT_FALSE(menu.disableForAppItem()->isChecked());
    menu.disableForAppItem()->trigger();

    auto list = exceptions();
    ASSERT_EQ(list.size(), 2U);
    const settings::ExceptionRef created = list.front();
    EXPECT_EQ(created->bundleId(), "org.mozilla.firefox");
    EXPECT_EQ(list.back(), older);
    EXPECT_EQ(created->scrollBase(), (settings::ScrollBase{false, true, false, true}));
    EXPECT_EQ(created->scrollAdvanced(), settings::ScrollAdvanced{});
    EXPECT_TRUE(created->inherit());
    emit menu.menu()->aboutToShow();
    EXPECT_TRUE(menu.disableForAppItem()->isChecked());

    // The second choice flips the same entry back on; it stays in the list.
    const int writes = settings.defaults.writeCount();
    menu.disableForAppItem()->trigger();
    list = exceptions();
    ASSERT_EQ(list.size(), 2U);
    EXPECT_EQ(list.front(), created);
    EXPECT_TRUE(created->scrollBase().smooth);
    EXPECT_GT(settings.defaults.writeCount(), writes);
    emit menu.menu()->aboutToShow();
    EXPECT_FALSE(menu.disableForAppItem()->isChecked());
}

TEST_F(AppMenuTest, FlippingAnExistingExceptionKeepsItsOwnValues) {
    settings::ScrollAdvanced custom;
    custom.step = 40.0;
    custom.duration = 120.0;
    auto entry = std::make_shared<settings::ExceptionalApplication>(
        "org.kde.kate", settings::ScrollBase{true, false, true, false}, custom, false);
    settings::AppSettings app = settings.manager.appSettings();
    app.exceptionalApplication = {std::make_shared<settings::ExceptionalApplication>("a.b"), entry};
    settings.manager.setAppSettings(app);
    AppMenu menu(dependencies());
    workspace.activate(makeApp(100, "org.kde.kate", "Kate"));

    menu.disableForAppItem()->trigger();
    const auto list = exceptions();
    ASSERT_EQ(list.size(), 2U);
    EXPECT_EQ(list.at(1), entry);
    EXPECT_EQ(entry->scrollBase(), (settings::ScrollBase{false, false, true, false}));
    EXPECT_EQ(entry->scrollAdvanced(), custom);
    EXPECT_FALSE(entry->inherit());
}

TEST_F(AppMenuTest, DisablingWithoutAnIdentifiableApplicationChangesNothing) {
    AppMenu menu(dependencies());
    const int writes = settings.defaults.writeCount();
    for (platform::AppRef app : {platform::AppRef{}, makeApp(100, std::nullopt, "Mystery")}) {
        workspace.activate(app);
        menu.disableForAppItem()->trigger();
    }
    EXPECT_TRUE(exceptions().empty());
    EXPECT_EQ(settings.defaults.writeCount(), writes);
}

TEST_F(AppMenuTest, WindowsOpenOncePerIdentifierAndQuitClosesThemFirst) {
    AppMenu menu(dependencies());
    menu.preferencesItem()->trigger();
    menu.preferencesItem()->trigger();
    menu.aboutItem()->trigger();
    ASSERT_EQ(windows.count(), 2);
    EXPECT_EQ(windows.window("preferences")->windowTitle(), "Glidemark Preferences");
    EXPECT_EQ(windows.window("about")->windowTitle(), "");

    menu.quitItem()->trigger();
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(windowsOpenAtTermination, 0);
}

TEST_F(AppMenuTest, TrayIconFollowsShowMenuIcon) {
    settings::AppSettings app = settings.manager.appSettings();
    app.showMenuIcon = false;
    settings.manager.setAppSettings(app);

    StatusBarManager bar(dependencies());
    EXPECT_FALSE(bar.statusItem()->isVisible());
    EXPECT_EQ(bar.statusItem()->contextMenu(), bar.menu().menu());
    EXPECT_FALSE(bar.statusItem()->icon().isNull());

    // The preferences' switch, as the program wires it, shows and hides the icon at once...
    platform::standin::StandInPlatform platform;
    openPreferencesWindow(windows, makeWindowContent(platform, settings.manager));
    auto* general = windows.window("preferences")->findChild<preferences::GeneralView*>();
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
    // ...and any window opening or closing brings it back in line with the setting.
    bar.setVisible(false);
    windows.closeAll();
    EXPECT_TRUE(bar.statusItem()->isVisible());
}

TEST_F(AppMenuTest, PreferencesWindowTakesTheHeightOfEachPage) {
    platform::standin::StandInPlatform platform;
    openPreferencesWindow(windows, makeWindowContent(platform, settings.manager));
    CustomWindow* window = windows.window("preferences");
    auto* tabs = window->findChild<preferences::PreferencesTabView*>();
    ASSERT_NE(tabs, nullptr);
    std::map<preferences::PreferencesTab, int> heights;
    for (auto tab : {preferences::PreferencesTab::advanced, preferences::PreferencesTab::updates,
                     preferences::PreferencesTab::general}) {
        tabs->tabButton(tab)->click();
        QApplication::processEvents();
        EXPECT_EQ(window->size(), tabs->sizeHint()) << preferences::title(tab);
        heights[tab] = window->height();
    }
    EXPECT_GT(heights[preferences::PreferencesTab::advanced], heights[preferences::PreferencesTab::general]);
    EXPECT_LT(heights[preferences::PreferencesTab::updates], heights[preferences::PreferencesTab::general]);
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
