// When the engine runs: the input-access check half a second after launch,
// the alerts and the poll, session changes, re-opening and termination.
#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>

#include "AppTestSupport.h"
#include "app/AppDelegate.h"
#include "app/SessionMonitor.h"
#include "app/StatusBarManager.h"
#include "app/Utils.h"

namespace gm::app::test {
namespace {

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest() : engine(access) {
        Utils::setAlertPresenter(&alerts);
        logLines().clear();
    }
    ~AppDelegateTest() override { Utils::setAlertPresenter(nullptr); }

    std::unique_ptr<AppDelegate> launch(bool trayAvailable = true) {
        const AppDelegate::Options options{.permissionCheckDelay = 0.01, .permissionPollInterval = 0.02, .hudDuration = 5.0,
                                           .hudSize = 300, .hudTimings = {}, .trayAvailable = trayAvailable};
        auto delegate = std::make_unique<AppDelegate>(
            AppDelegate::Services{workspace, access, settings.manager, engine, session, nullptr, WindowContent::interim(), [] {}},
            options);
        EXPECT_TRUE(delegate->applicationWillFinishLaunching());
        delegate->applicationDidFinishLaunching();
        return delegate;
    }

    // Runs events until the first check has happened (alert shown or engine asked to start).
    void waitForFirstCheck() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return engine.starts > 0 || !alerts.shown.empty(); }, 2000));
    }

    SettingsFixture settings;
    FakeWorkspace workspace;
    FakeInputAccess access;
    FakeEngine engine;
    SessionMonitor session;
    ScriptedAlerts alerts;
};

// With access: the HUD confirms and the engine starts; session changes end and restart it,
// access permitting; termination ends it once.
TEST_F(AppDelegateTest, WithAccessTheEngineRunsWhileTheSessionIsActive) {
    access.trusted = true;
    auto delegate = launch();
    EXPECT_EQ(engine.starts, 0) << "the check waits for its delay";
    waitForFirstCheck();
    EXPECT_TRUE(engine.isActive() && alerts.shown.empty() && !delegate->permissionPollTimer());
    ASSERT_NE(delegate->hudManager()->window(), nullptr);
    EXPECT_EQ(delegate->hudManager()->window()->size(), QSize(300, 300));
    EXPECT_FALSE(delegate->windowManager()->hasVisibleWindows());
    EXPECT_EQ(StatusBarManager::shared(), delegate->statusBarManager());

    emit session.sessionDidResignActive();
    EXPECT_FALSE(engine.isActive());
    EXPECT_TRUE(logLines().contains("ScrollCore End: Session Resign"));
    // Access withdrawn meanwhile: activation asks, the engine declines and stays stopped.
    access.trusted = false;
    emit session.sessionDidBecomeActive();
    EXPECT_FALSE(engine.isActive());
    EXPECT_TRUE(logLines().contains("ScrollCore Start: Session Active"));
    access.trusted = true;
    emit session.sessionDidBecomeActive();
    EXPECT_TRUE(engine.isActive());

    const int ends = engine.ends;
    delegate->applicationWillTerminate();
    delegate->applicationWillTerminate();
    EXPECT_EQ(std::tuple(engine.isActive(), engine.ends), std::tuple(false, ends + 1));
    EXPECT_TRUE(logLines().contains("App terminated"));
}

TEST_F(AppDelegateTest, WithoutAccessTheAlertLeadsToAPollThatStartsTheEngineLater) {
    alerts.answers = {1};  // "Deny"
    auto delegate = launch();
    waitForFirstCheck();

    ASSERT_EQ(alerts.shown.size(), 1U);
    const Alert& alert = alerts.shown[0];
#ifdef Q_OS_MACOS
    EXPECT_EQ(QStringList({alert.messageText, alert.informativeText}) + alert.buttons,
              QStringList({"Accessibility Permission Required",
                           "Glidemark needs Accessibility permission to work properly.\n\nGo to System Settings > "
                           "Privacy & Security > Accessibility to grant permission.",
                           "Open System Settings", "Deny"}));
    EXPECT_EQ(access.requests, 1) << "the system's own prompt follows Deny too";
#else
    EXPECT_EQ(alert.messageText, "Mouse Access Required");
    EXPECT_TRUE(alert.informativeText.startsWith("Glidemark needs access to the mouse (input devices) to work "
                                                 "properly.\n\nChoose Grant Access\u2026 to grant it"));
    EXPECT_EQ(alert.buttons, (QStringList{"Grant Access\u2026", "Deny"}));
    EXPECT_EQ(access.requests, 0) << "Deny asks for nothing";
#endif
    EXPECT_TRUE(logLines().contains("No permission"));
    EXPECT_FALSE(engine.isActive());
    QTimer* poll = delegate->permissionPollTimer();
    ASSERT_NE(poll, nullptr);
    EXPECT_TRUE(poll->isActive());

    // Polls without access change nothing, however many there are.
    QTest::qWait(100);
    EXPECT_EQ(std::tuple(alerts.shown.size(), engine.starts), std::tuple(1U, 0));

    access.trusted = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.isActive(); }, 2000));
    ASSERT_EQ(alerts.shown.size(), 2U);
    EXPECT_EQ(QStringList({alerts.shown[1].messageText, alerts.shown[1].informativeText}) + alerts.shown[1].buttons,
              QStringList({"Well done!", "Glidemark can now animate your scrolling", "OK"}));
    EXPECT_EQ(delegate->hudManager()->window(), nullptr) << "no HUD on this path";
    QTest::qWait(100);
    EXPECT_EQ(std::tuple(alerts.shown.size(), engine.starts), std::tuple(2U, 1)) << "the poll ends once access arrives";
}

// With the real message box: only its first button asks for access (the
// administrator's password prompt); Deny and a quit closing it do not.
TEST_F(AppDelegateTest, OnlyTheAlertsFirstButtonAsksForAccess) {
#ifdef Q_OS_MACOS
    GTEST_SKIP() << "on macOS the system's prompt follows every answer (the test above)";
#endif
    Utils::setAlertPresenter(nullptr);
    const std::vector<std::pair<std::function<void(QMessageBox&)>, int>> answers{
        {[](QMessageBox& box) { box.buttons().at(0)->click(); }, 1},
        {[](QMessageBox& box) { box.buttons().at(1)->click(); }, 0},
        {[](QMessageBox& box) { box.close(); }, 0},  // what quitting does to it
    };
    for (const auto& [answer, requests] : answers) {
        access.requests = 0;
        QTimer answering;
        answering.callOnTimeout([&, answer = answer] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) answer(*box);
        });
        answering.start(10);
        auto delegate = launch();
        ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->permissionPollTimer() != nullptr; }, 5000));
        EXPECT_EQ(access.requests, requests);
    }
}

// Without a tray the preferences open at launch; re-opening brings them when none shows, given access.
TEST_F(AppDelegateTest, ReopeningOpensThePreferencesOnlyWithAccessAndNoWindowShowing) {
    access.trusted = true;
    auto delegate = launch(false);
    WindowManager& windows = *delegate->windowManager();
    ASSERT_NE(windows.window("preferences"), nullptr);
    EXPECT_TRUE(logLines().contains("No system tray available: opening the preferences window"));
    EXPECT_EQ(windows.window("preferences")->windowTitle(), "Glidemark Preferences");
    EXPECT_TRUE(AppDelegate::hasVisibleWindows());
    EXPECT_TRUE(delegate->applicationShouldHandleReopen(AppDelegate::hasVisibleWindows()));
    EXPECT_EQ(windows.count(), 1);

    windows.closeAll();
    EXPECT_FALSE(delegate->applicationShouldHandleReopen(false));
    EXPECT_NE(windows.window("preferences"), nullptr);
    windows.closeAll();
    access.trusted = false;
    EXPECT_FALSE(delegate->applicationShouldHandleReopen(AppDelegate::hasVisibleWindows()));
    EXPECT_EQ(windows.count(), 0);
}

}  // namespace
}  // namespace gm::app::test
