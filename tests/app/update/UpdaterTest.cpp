#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTextBrowser>

#include "app/update/UpdateTestSupport.h"
#include "app/update/UpdatesView.h"
#include "platform/Log.h"

namespace gm::update {
namespace {

using test::Harness;
using test::Route;
using std::chrono::hours;

const QString kFeed = QStringLiteral("/feed.xml");
const QString kFile = QStringLiteral("/Glidemark-1.3.tar.gz");

platform::MemoryLogSink& logSink() {
    static platform::MemoryLogSink sink;
    [[maybe_unused]] static const bool installed = (platform::log().setSink(&sink), true);
    return sink;
}

bool logged(const QString& text) {
    const auto lines = logSink().lines();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const auto& line) { return QString::fromStdString(line.message).contains(text); });
}

class UpdaterTest : public ::testing::Test {
protected:
    void SetUp() override { logSink().clear(); }
    Harness h;
};

TEST_F(UpdaterTest, TheUserSeesWhetherANewerVersionIsThereAndMaySkipItInTheBackground) {
    h.offer("1.10", "payload");
    h.start("1.10.0");  // the same version
    EXPECT_EQ(h.check(true), CheckOutcome::NoUpdate);
    EXPECT_TRUE(h.shows("You're up to date!") && h.shows("Glidemark 1.10.0 is the latest version.")) << h.windowText().toStdString();
    h.click("OK");
    EXPECT_FALSE(h.windowVisible());
    // Nobody is told about "nothing new" from a background check.
    EXPECT_EQ(h.check(false), CheckOutcome::NoUpdate);
    EXPECT_FALSE(h.windowVisible());

    h.manager.reset();
    h.start("1.9");
    QSignalSpy reminding(h.manager.get(), &UpdaterManager::remindingChanged);
    ASSERT_EQ(h.check(true), CheckOutcome::UpdateFound);
    ASSERT_TRUE(h.windowVisible());
    EXPECT_TRUE(h.shows("Glidemark 1.10 is available") && h.shows("You are using version 1.9.")) << h.windowText().toStdString();
    // The user asked and sees it: no reminders on top.
    EXPECT_FALSE(QSignalSpy(h.manager.get(), &UpdaterManager::badgeLabelChanged).wait(50));
    EXPECT_TRUE(reminding.isEmpty());
    h.click("Skip This Version");
    EXPECT_TRUE(!h.windowVisible() && h.updater().canCheckForUpdates());
    EXPECT_EQ(h.check(false), CheckOutcome::NoUpdate);
    EXPECT_TRUE(h.notifier->posted.empty() && logged("version 1.10 was skipped by the user"));
    EXPECT_EQ(h.check(true), CheckOutcome::UpdateFound) << "the user asked, so the user sees it";
    h.click("Remind Me Later");
    // A version past the skipped one is news again.
    h.offer("1.10.1", "payload");
    EXPECT_EQ(h.check(false), CheckOutcome::UpdateFound);
    EXPECT_EQ(h.notifier->posted.size(), 1U);
}

TEST_F(UpdaterTest, BrokenFeedsEndTheCheckWithAMessageOrALogLine) {
    using Tweak = std::function<void(UpdaterManager::Parts&)>;
    const Tweak httpsOnly = [](UpdaterManager::Parts& p) { p.options.transport = TransportPolicy::HttpsOnly; };
    const Tweak noFeed = [](UpdaterManager::Parts& p) { p.options.feedUrl = QUrl(); };
    const std::vector<std::tuple<Route, QString, Tweak>> cases = {
        {{404, "gone"}, "The update feed could not be loaded (HTTP 404).", {}},
        // What the feed parser says of a broken feed (the feed tests have every case).
        {{200, test::feed({{"1.3", {}, "https://example.org/x", 10, {}}})},
         "The update feed has no usable entry: item 1 (1.3) has no signature.", {}},
        {{200, QByteArray(5 * 1024 * 1024, ' ')}, "The update feed is larger than 4 MB, so it was not read.", {}},
        // Neither a plain-http feed (the loopback one, here) nor a missing one is asked for at all.
        {{200, "<rss/>"}, "The update feed's address must use HTTPS.", httpsOnly},
        {{200, "<rss/>"}, "This build of Glidemark has no update feed.", noFeed},
    };
    for (const auto& [route, message, tweak] : cases) {
        SCOPED_TRACE(message.toStdString());
        Harness one;
        one.server.route(kFeed, route);
        one.start("1.2", tweak);
        QSignalSpy finished(&one.updater(), &Updater::checkFinished);
        EXPECT_EQ(one.check(true), CheckOutcome::Failed);
        EXPECT_EQ(one.server.hits(kFeed), tweak ? 0 : 1);
        EXPECT_TRUE(Harness::lastMessage(finished).startsWith(message)) << Harness::lastMessage(finished).toStdString();
        EXPECT_TRUE(one.shows("Could not check for updates") && one.shows(message)) << one.windowText().toStdString();
        one.click("OK");
        logSink().clear();
        EXPECT_EQ(one.check(false), CheckOutcome::Failed);
        EXPECT_FALSE(one.windowVisible()) << "a background failure only reaches the log";
        EXPECT_TRUE(logged("Update check failed: " + message) && one.updater().canCheckForUpdates());
    }
}

TEST_F(UpdaterTest, ASilentServerEndsTheCheckAtTheTimeLimitOrWhenCancelledAndCheckingIsOffMeanwhile) {
    h.server.route(kFeed, {200, {}, true});
    h.start();
    UpdatesView view(h.updater());
    QPushButton* button = view.checkForUpdatesView()->button();
    QSignalSpy canCheck(&h.updater(), &Updater::canCheckForUpdatesChanged);
    QSignalSpy finished(&h.updater(), &Updater::checkFinished);
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "cancelled" : "timed out");
        canCheck.clear();
        QElapsedTimer clock;
        clock.start();
        button->click();
        EXPECT_FALSE(button->isEnabled()) << "the button is off while the check runs";
        EXPECT_TRUE(h.shows("Checking for updates…"));
        if (cancel) {
            h.click("Cancel");
            EXPECT_FALSE(h.windowVisible());
            EXPECT_FALSE(finished.wait(500)) << "the abandoned request must not come back as a result";
        } else {
            ASSERT_TRUE(finished.wait(2000));
            EXPECT_TRUE(clock.elapsed() >= 250 && clock.elapsed() < 1500) << clock.elapsed();
            EXPECT_EQ(Harness::lastMessage(finished), "The update server did not answer within 0.3 seconds.");
        }
        EXPECT_TRUE(button->isEnabled());
        EXPECT_EQ(canCheck, (QList<QVariantList>{{false}, {true}}));
    }
}

// Only web links in the release notes open; notes behind a link are fetched, or the link is offered.
TEST_F(UpdaterTest, ReleaseNotesOpenOnlyWebLinksAndNotesBehindALinkAreFetched) {
    const QStringList links{"https://example.org/a", "HTTP://example.org/b", "file:///etc/passwd", "smb://host/share",
                            "x-scheme-handler:run", "#top"};
    test::FeedItem item = h.offer("1.3", "payload");
    item.notes.clear();
    for (int i = 0; i < links.size(); ++i) item.notes += QStringLiteral("<p><a href=\"%1\">link%2</a></p>").arg(links[i]).arg(i);
    h.server.route(kFeed, {200, test::feed({item})});
    h.start();
    ASSERT_EQ(h.check(true), CheckOutcome::UpdateFound);
    auto* notes = h.window()->findChild<QTextBrowser*>();
    for (int i = 0; i < links.size(); ++i) {
        const QTextCursor found = notes->document()->find(QStringLiteral("link%1").arg(i));
        QTest::mouseClick(notes->viewport(), Qt::LeftButton, {}, notes->cursorRect(found).center() - QPoint(4, 0));
    }
    EXPECT_EQ(h.opened, (std::vector<QUrl>{QUrl(links[0]), QUrl(links[1])}));
    h.click("Remind Me Later");

    item.notesUrl = h.server.url("/notes.html").toString();
    h.server.route(kFeed, {200, test::feed({item})});
    for (const auto& [route, expected] : {std::pair{Route{200, "<p>Faster <b>wheel</b> response.</p>"}, "Faster wheel response."},
                                          std::pair{Route{500, ""}, "could not be loaded"}}) {
        h.server.route("/notes.html", route);
        ASSERT_EQ(h.check(true), CheckOutcome::UpdateFound);
        notes = h.window()->findChild<QTextBrowser*>();
        ASSERT_TRUE(QTest::qWaitFor([&] { return notes->toPlainText().contains(expected); }, 2000)) << expected;
        EXPECT_TRUE(route.status == 200 || notes->toHtml().contains(item.notesUrl.toHtmlEscaped()))
            << "the reader can still follow the link";
        h.click("Remind Me Later");
    }
}

TEST_F(UpdaterTest, ABackgroundCheckRemindsGentlyUntilTheUserAttendsAndMayDownloadFirst) {
    h.offer("1.3", "payload");
    h.start();
    QSignalSpy badge(h.manager.get(), &UpdaterManager::badgeLabelChanged);
    QSignalSpy reminding(h.manager.get(), &UpdaterManager::remindingChanged);
    EXPECT_EQ(h.check(false), CheckOutcome::UpdateFound);
    EXPECT_FALSE(h.windowVisible()) << "a background find does not push a window at the user";
    EXPECT_EQ(h.notifier->posted,
              (std::vector<QStringList>{{"UpdateCheck", "A new update is available", "Version 1.3 is now available"}}));
    EXPECT_EQ(reminding, QList<QVariantList>{{true}});
    EXPECT_TRUE(badge.isEmpty()) << "the badge follows a moment later";
    ASSERT_TRUE(badge.wait(1000));
    EXPECT_TRUE(h.manager->badgeLabel() == "1" && h.updater().canCheckForUpdates());

    // Clicking the notification is the user attending: the window comes, the reminders go.
    h.notifier->click("UpdateCheck");
    EXPECT_TRUE(h.shows("Glidemark 1.3 is available") && h.manager->badgeLabel().isEmpty());
    EXPECT_FALSE(h.notifier->shown.contains("UpdateCheck"));
    EXPECT_EQ(h.server.hits(kFeed), 1) << "the waiting update is shown, not fetched again";
    h.click("Remind Me Later");
    EXPECT_EQ(reminding, (QList<QVariantList>{{true}, {false}}));
    EXPECT_FALSE(h.manager->isReminding());

    // Attending before the badge's delay leaves no badge.
    badge.clear();
    EXPECT_EQ(h.check(false), CheckOutcome::UpdateFound);
    h.manager->checkForUpdates();
    EXPECT_TRUE(!badge.wait(100) && h.manager->badgeLabel().isEmpty());

    // With automatic downloads the file is fetched quietly first, and the reminder follows.
    h.click("Remind Me Later");
    h.updater().setAutomaticallyDownloadsUpdates(true);
    const size_t posts = h.notifier->posted.size();
    QSignalSpy downloaded(&h.updater(), &Updater::downloadFinished);
    EXPECT_EQ(h.check(false), CheckOutcome::UpdateFound);
    EXPECT_EQ(h.notifier->posted.size(), posts) << "no reminder before the file is ready";
    ASSERT_TRUE(downloaded.wait(2000));
    EXPECT_TRUE(downloaded[0][0].toBool() && !h.windowVisible());
    EXPECT_EQ(h.downloadedFiles(), QStringList{"Glidemark-1.3.tar.gz"});
    EXPECT_EQ(h.notifier->posted.size(), posts + 1);
    h.manager->checkForUpdates();
    EXPECT_NE(h.button("Show in Folder"), nullptr);
}

TEST_F(UpdaterTest, ACancelledDownloadLeavesNoFileAVerifiedOneIsRenamedAndOnlyItsFolderOpened) {
    const QByteArray payload(200000, 'g');
    h.offer("1.3", payload);
    h.server.route(kFile, {200, {}, true});
    h.start();
    ASSERT_EQ(h.check(true), CheckOutcome::UpdateFound);
    h.click("Download");
    EXPECT_FALSE(h.updater().canCheckForUpdates());
    ASSERT_TRUE(QTest::qWaitFor([&] { return h.server.hits(kFile) == 1; }, 1000));
    h.click("Cancel");
    EXPECT_TRUE(h.downloadedFiles().isEmpty());
    EXPECT_TRUE(!h.windowVisible() && h.updater().canCheckForUpdates());

    h.server.route(kFile, {200, payload});
    ASSERT_EQ(h.check(true), CheckOutcome::UpdateFound);
    const auto [ok, path] = h.download();
    ASSERT_TRUE(ok) << path.toStdString();
    EXPECT_EQ(h.downloadedFiles(), QStringList{"Glidemark-1.3.tar.gz"}) << "no temporary file is left";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), payload);
    EXPECT_TRUE(h.shows("Glidemark 1.3 is ready to install"));
    EXPECT_TRUE(!QFileInfo(path).isExecutable() && QFileInfo(path).permission(QFileDevice::ReadOther))
        << "an ordinary file, not a private temporary one";
    h.click("Show in Folder");
    EXPECT_EQ(h.opened, std::vector<QUrl>{QUrl::fromLocalFile(h.downloads.path())});
    EXPECT_FALSE(h.windowVisible());

    // A second download of the same file does not overwrite the first.
    ASSERT_EQ(h.check(true), CheckOutcome::UpdateFound);
    ASSERT_TRUE(h.download().first);
    EXPECT_EQ(h.downloadedFiles(), (QStringList{"Glidemark-1.3 (2).tar.gz", "Glidemark-1.3.tar.gz"}));
}

TEST_F(UpdaterTest, FailedDownloadsLeaveNothingBehindAndSaySo) {
    using Serve = std::function<void(Harness&, test::FeedItem&)>;
    const std::vector<std::tuple<const char*, Serve, QString>> cases = {
        {"bad signature", [](Harness& one, test::FeedItem& item) { item.signature = one.keys.sign("something else"); },
         "The update is not correctly signed and could not be verified, so it was deleted."},
        {"short", [](Harness&, test::FeedItem& item) { item.length += 5; },
         "The download has 5000 bytes instead of the 5005 the update feed announced"},
        {"long", [](Harness&, test::FeedItem& item) { item.length -= 5; },
         "The download is larger than the 4995 bytes the update feed announced"},
        {"stalled", [](Harness& one, test::FeedItem&) { one.server.route(kFile, {200, {}, true}); },
         "The download stalled and was stopped."},
        {"missing", [](Harness& one, test::FeedItem&) { one.server.route(kFile, {404, "gone"}); },
         "The update could not be downloaded (HTTP 404)."},
        // Nothing that could not be verified is fetched.
        {"no key", {}, "This build of Glidemark has no key to verify updates with, so it cannot download them."},
    };
    for (const auto& [name, serve, expected] : cases) {
        SCOPED_TRACE(name);
        Harness one;
        test::FeedItem item = one.offer("1.3", QByteArray(5000, 'p'));
        const bool keyless = !serve;
        if (!keyless) serve(one, item);
        one.server.route(kFeed, {200, test::feed({item})});
        one.start("1.2", [keyless](UpdaterManager::Parts& parts) {
            if (keyless) parts.options.publicKeyBase64.clear();
        });
        ASSERT_EQ(one.check(true), CheckOutcome::UpdateFound);
        QSignalSpy canCheck(&one.updater(), &Updater::canCheckForUpdatesChanged);
        const auto [ok, message] = one.download();
        EXPECT_TRUE(!ok && message.startsWith(expected)) << message.toStdString();
        EXPECT_EQ(one.server.hits(kFile), keyless ? 0 : 1);
        EXPECT_TRUE(one.downloadedFiles().isEmpty()) << one.downloadedFiles().join(' ').toStdString();
        EXPECT_TRUE(one.shows("The update could not be downloaded") && one.shows(expected)) << one.windowText().toStdString();
        EXPECT_EQ(canCheck.size(), 2) << "checking is off while downloading, on after";
    }
}

TEST_F(UpdaterTest, BackgroundChecksComeADayAfterTheFirstLaunchThenDaily) {
    h.offer("1.2", "payload");
    h.start();
    const QDateTime launch = h.clock->now();
    EXPECT_EQ(UpdaterSettings(h.settingsPath).firstLaunch(), launch);
    EXPECT_TRUE(h.timer->isActive() && h.timer->delay_ == hours(24));
    EXPECT_EQ(h.notifier->authorizationRequests, 1) << "asked each time a check is scheduled";

    // A timer that fires early (after a suspend, say) only re-arms.
    h.clock->advance(hours(1));
    h.timer->fire();
    EXPECT_EQ(h.server.hits(kFeed), 0);
    EXPECT_EQ(h.timer->delay_, hours(23));

    h.clock->advance(hours(23));
    QSignalSpy finished(&h.updater(), &Updater::checkFinished);
    h.timer->fire();
    ASSERT_TRUE(finished.wait(2000));
    EXPECT_EQ(std::tuple(h.server.hits(kFeed), h.updater().lastUpdateCheckDate(), h.timer->delay_),
              std::tuple(1, h.clock->now(), hours(24)));

    // A restart a few hours later neither resets the first launch nor checks at once.
    h.manager.reset();
    h.clock->advance(hours(5));
    h.start();
    EXPECT_EQ(UpdaterSettings(h.settingsPath).firstLaunch(), launch);
    EXPECT_EQ(h.timer->delay_, hours(19));
}

TEST_F(UpdaterTest, AStoredIntervalIsKeptBetweenAnHourAndThirtyDays) {
    const std::pair<const char*, hours> rows[] = {{"9223372036854775807", hours(720)}, {"315360000000", hours(720)},
                                                  {"60", hours(1)}, {"-86400", hours(1)}, {"weekly", hours(24)}};
    for (const auto& [stored, expected] : rows) {
        QSettings(h.settingsPath, QSettings::IniFormat).setValue("updateCheckInterval", stored);
        h.start();
        EXPECT_EQ(h.timer->delay_, expected) << stored;
    }
}

TEST_F(UpdaterTest, ALastCheckStoredInTheFutureCountsFromNow) {
    const std::pair<qint64, hours> rows[] = {{-3600, hours(23)}, {3600, hours(24)}, {1000LL * 365 * 86400, hours(24)}};
    for (const auto& [offset, expected] : rows) {
        QSettings(h.settingsPath, QSettings::IniFormat)
            .setValue("lastUpdateCheck", h.clock->now().addSecs(offset).toUTC().toString(Qt::ISODate));
        h.start();
        EXPECT_EQ(h.timer->delay_, expected) << offset;
    }
}

TEST_F(UpdaterTest, BothPreferencesSurviveARestartInTheUpdatersOwnFile) {
    QTemporaryDir xdg;
    qputenv("XDG_CONFIG_HOME", xdg.path().toUtf8());
    EXPECT_EQ(UpdaterSettings::defaultPath(), xdg.path() + "/glidemark/updater.ini");
    Harness restart(xdg.path());
    for (const bool before : {true, false}) {
        restart.manager.reset();  // a restart
        restart.start();
        UpdaterSettingsView view(restart.updater());
        EXPECT_EQ(view.automaticallyChecksSwitch()->isChecked(), before);
        EXPECT_EQ(view.automaticallyDownloadsSwitch()->isChecked(), !before);
        EXPECT_EQ(restart.timer->isActive(), before) << "checks off, no schedule";
        view.automaticallyChecksSwitch()->click();
        view.automaticallyDownloadsSwitch()->click();
        EXPECT_EQ(restart.timer->isActive(), !before);
    }
    qunsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace gm::update
