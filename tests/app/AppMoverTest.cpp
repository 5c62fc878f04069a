// Installing the program from wherever it was started: in temporary folders,
// with the real file operations and fakes for the authentication prompt, the
// relaunch and the running copies. The last tests start real processes.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "AppTestSupport.h"
#include "app/AppMover.h"
#include "app/LaunchAtLogin.h"

namespace gm::app::test {
namespace {

using AppMover::Outcome;
using AppMover::PrivilegedRunner;

constexpr char kNewRaw[] = "\x7f" "ELF new copy\0\x01\x02\n$(x)";
const QByteArray kNewBytes = QByteArray(kNewRaw, sizeof kNewRaw - 1);
const QByteArray kOldBytes = "older copy";

// The real file operations, with folders that can be made to look read-only
// (the tests may run as root, for whom nothing is) and a copy that can fail.
class TestFiles final : public AppMover::Files {
public:
    std::unique_ptr<AppMover::Files> real = AppMover::systemFiles();
    QStringList readOnly;
    bool failCopy = false;

    bool exists(const QString& path) const override { return real->exists(path); }
    bool isWritable(const QString& path) const override { return !readOnly.contains(path) && real->isWritable(path); }
    bool makeFolder(const QString& path) override { return real->makeFolder(path); }
    bool copyExecutable(const QString& from, const QString& to) override {
        return !failCopy && real->copyExecutable(from, to);
    }
    bool writeFile(const QString& path, const QByteArray& bytes) override { return real->writeFile(path, bytes); }
    bool remove(const QString& path) override { return real->remove(path); }
    bool moveToTrash(const QString& path) override { return real->moveToTrash(path); }
};

class FakePrivileged final : public PrivilegedRunner {
public:
    std::deque<Result> results;
    std::vector<QStringList> runs;
    Result run(const QStringList& argv) override {
        runs.push_back(argv);
        if (results.empty()) return Result::Done;
        const Result result = results.front();
        results.pop_front();
        return result;
    }
};

class FakeLauncher final : public AppMover::Launcher {
public:
    bool succeed = true;
    std::vector<QStringList> spawned;
    bool spawn(const QStringList& argv) override {
        spawned.push_back(argv);
        return succeed;
    }
};

class FakeRunningCopies final : public AppMover::RunningCopies {
public:
    QStringList running;
    QStringList broughtForward;
    bool isRunning(const QString& executable) const override { return running.contains(executable); }
    void bringForward(const QString& executable) override { broughtForward.push_back(executable); }
};

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Whether anything named like the commands hidden in the test paths was created.
bool anyFileNamed(const QString& root, const QString& name) {
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        if (QFileInfo(it.next()).fileName() == name) return true;
    return false;
}

class AppMoverTest : public ::testing::Test {
protected:
    AppMoverTest() : AppMoverTest(QStringLiteral("Downloads"), QStringLiteral("home")) {}
    AppMoverTest(const QString& downloads, const QString& home) {
        logLines().clear();
        where.home = root + '/' + home;
        where.dataHome = where.home + QStringLiteral("/.local/share");
        where.executable = where.home + '/' + downloads + QStringLiteral("/glidemark");
        where.prefixes = {root + QStringLiteral("/usr"), where.home + QStringLiteral("/.local")};
        where.systemPrefix = root + QStringLiteral("/usr/local");
        where.pid = 4242;
        where.displayName = QStringLiteral("Glidemark");
        writeBytes(where.executable, kNewBytes);
        QDir().mkpath(where.systemPrefix + QStringLiteral("/bin"));
        // The trash is the one in XDG_DATA_HOME when the file is on the home folder's disk.
        savedDataHome = qgetenv("XDG_DATA_HOME");
        savedHome = qgetenv("HOME");
        savedConfigHome = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(where.dataHome));
        qputenv("HOME", QFile::encodeName(where.home));
        // Where the launch-at-login entry is looked for.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(where.home + QStringLiteral("/.config")));
    }
    ~AppMoverTest() override {
        qputenv("XDG_DATA_HOME", savedDataHome);
        qputenv("HOME", savedHome);
        qputenv("XDG_CONFIG_HOME", savedConfigHome);
    }

    Outcome move() { return AppMover::moveToApplicationsFolderIfNecessary(where, services); }
    QString userCopy() const { return where.home + QStringLiteral("/.local/bin/glidemark"); }
    QString systemCopy() const { return where.systemPrefix + QStringLiteral("/bin/glidemark"); }
    QStringList relaunchOf(const QString& copy) const {
        return {copy, QStringLiteral("--wait-for-pid"), QStringLiteral("4242")};
    }

    QString root = makeTempDir();
    AppMover::Locations where;
    QByteArray savedDataHome;
    QByteArray savedHome;
    QByteArray savedConfigHome;
    TestFiles files;
    FakePrivileged privileged;
    FakeLauncher launcher;
    FakeRunningCopies running;
    ScriptedAlerts alerts;
    AppMover::Services services{files, privileged, launcher, running, alerts};
};

TEST_F(AppMoverTest, ProgramsInsideAnInstallationAreNotOffered) {
    for (const QString& place : {where.home + QStringLiteral("/.local/bin/glidemark"),
                                 root + QStringLiteral("/usr/bin/glidemark"),
                                 root + QStringLiteral("/usr/local/bin/glidemark")}) {
        where.executable = place;
        EXPECT_EQ(move(), Outcome::Stay) << place.toStdString();
    }
    EXPECT_TRUE(alerts.shown.empty());

    // A folder whose name only begins like a prefix is somewhere else.
    where.executable = root + QStringLiteral("/usr-old/bin/glidemark");
    alerts.answers = {AppMover::kDoNotMove};
    move();
    EXPECT_EQ(alerts.shown.size(), 1u);
}

TEST_F(AppMoverTest, InstallsForThisUserAndRelaunchesFromThere) {
    // Launch at login was on for the copy about to go.
    LaunchAtLogin::setProgramPath(where.executable);
    LaunchAtLogin::setEnabled(true);
    LaunchAtLogin::setProgramPath(QString());
    alerts.answers = {AppMover::kMoveForThisUser};
    ASSERT_EQ(move(), Outcome::Relaunch);
    EXPECT_TRUE(contents(LaunchAtLogin::entryPath()).contains("\nExec=\"" + QFile::encodeName(userCopy()) + "\"\n"));

    ASSERT_EQ(alerts.shown.size(), 1u);
    const Alert& alert = alerts.shown.front();
    EXPECT_EQ(alert.messageText, "Install Glidemark");
    EXPECT_EQ(alert.informativeText, "Glidemark needs to be installed in order to work properly: for this user in "
                                     "~/.local/bin, or for everyone in /usr/local/bin.");
    EXPECT_EQ(alert.buttons, QStringList({"Install for This User", "Install for Everyone", "Do Not Install"}));

    EXPECT_EQ(contents(userCopy()), kNewBytes);
    struct stat status {};
    ASSERT_EQ(stat(QFile::encodeName(userCopy()).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0755u);
    EXPECT_FALSE(QFileInfo::exists(where.executable)) << "the copy it was started from stays behind";
    EXPECT_TRUE(privileged.runs.empty());
    ASSERT_EQ(launcher.spawned.size(), 1u);
    EXPECT_EQ(launcher.spawned.front(), relaunchOf(userCopy()));

    const QByteArray entry = contents(where.dataHome + "/applications/glidemark.desktop");
    EXPECT_TRUE(entry.contains("\nExec=\"" + QFile::encodeName(userCopy()) + "\"\n")) << entry.constData();
    EXPECT_TRUE(entry.contains("\nIcon=glidemark\n"));
    EXPECT_FALSE(entry.contains("TryExec"));
    EXPECT_TRUE(contents(where.dataHome + "/icons/hicolor/scalable/apps/glidemark.svg").startsWith("<svg"));
}

TEST_F(AppMoverTest, OlderCopyGoesToTheTrashBeforeTheNewOneTakesItsPlace) {
    writeBytes(userCopy(), kOldBytes);
    alerts.answers = {AppMover::kMoveForThisUser};
    ASSERT_EQ(move(), Outcome::Relaunch);

    EXPECT_EQ(contents(userCopy()), kNewBytes);
    EXPECT_EQ(contents(where.dataHome + "/Trash/files/glidemark"), kOldBytes);
    const QByteArray info = contents(where.dataHome + "/Trash/info/glidemark.trashinfo");
    EXPECT_TRUE(info.startsWith("[Trash Info]\n")) << info.constData();
    EXPECT_TRUE(info.contains("Path=" + QUrl::toPercentEncoding(userCopy(), "/") + "\n")) << info.constData();
}

TEST_F(AppMoverTest, CopyAlreadyRunningThereIsBroughtForwardInstead) {
    writeBytes(userCopy(), kOldBytes);
    running.running = {userCopy()};
    alerts.answers = {AppMover::kMoveForThisUser};

    EXPECT_EQ(move(), Outcome::BroughtForward);
    EXPECT_EQ(running.broughtForward, QStringList{userCopy()});
    EXPECT_EQ(contents(userCopy()), kOldBytes);
    EXPECT_EQ(contents(where.executable), kNewBytes);
    EXPECT_TRUE(launcher.spawned.empty());
    EXPECT_FALSE(QFileInfo::exists(where.dataHome + "/Trash"));
}

TEST_F(AppMoverTest, SystemWideInstallAuthenticatesAndAsksAgainWhenCancelled) {
    files.readOnly = {where.systemPrefix + "/bin"};
    alerts.answers = {AppMover::kMoveForAllUsers, AppMover::kDoNotMove};
    privileged.results = {PrivilegedRunner::Result::Cancelled};

    EXPECT_EQ(move(), Outcome::Stay);
    EXPECT_EQ(alerts.shown.size(), 2u);
    ASSERT_EQ(privileged.runs.size(), 1u);
    EXPECT_EQ(privileged.runs.front(),
              QStringList({"/usr/bin/install", "-D", "-m", "0755", where.executable, systemCopy()}));
    EXPECT_EQ(contents(where.executable), kNewBytes);
    EXPECT_TRUE(launcher.spawned.empty());

    // Cancelled, then accepted on the second try.
    alerts.answers = {AppMover::kMoveForAllUsers, AppMover::kMoveForAllUsers};
    privileged.results = {PrivilegedRunner::Result::Cancelled, PrivilegedRunner::Result::Done};
    EXPECT_EQ(move(), Outcome::Relaunch);
    ASSERT_EQ(launcher.spawned.size(), 1u);
    EXPECT_EQ(launcher.spawned.front(), relaunchOf(systemCopy()));
    EXPECT_FALSE(QFileInfo::exists(where.executable));
    // The menu entry is the user's own, naming the system-wide copy.
    EXPECT_TRUE(contents(where.dataHome + "/applications/glidemark.desktop")
                    .contains("\nExec=\"" + QFile::encodeName(systemCopy()) + "\"\n"));
}

TEST_F(AppMoverTest, AdministratorSentenceOnlyWhenTheUsersFolderIsNotWritable) {
    alerts.answers = {AppMover::kDoNotMove};
    move();
    files.readOnly = {where.home};  // ~/.local does not exist yet: its parent decides
    alerts.answers = {AppMover::kDoNotMove};
    move();
    ASSERT_EQ(alerts.shown.size(), 2u);
    EXPECT_FALSE(alerts.shown[0].informativeText.contains("authenticate"));
    EXPECT_TRUE(alerts.shown[1].informativeText.endsWith(
        "/usr/local/bin. You need to authenticate with your administrator password to complete this step."));
}

TEST_F(AppMoverTest, FailuresLeaveTheProgramRunningWhereItIs) {
    // "Do Not Move" touches nothing, and the question comes back next time.
    alerts.answers = {AppMover::kDoNotMove, AppMover::kDoNotMove};
    EXPECT_EQ(move(), Outcome::Stay);
    EXPECT_EQ(move(), Outcome::Stay);
    EXPECT_EQ(alerts.shown.size(), 2u);
    EXPECT_FALSE(QFileInfo::exists(userCopy()));

    files.failCopy = true;
    alerts.answers = {AppMover::kMoveForThisUser};
    EXPECT_EQ(move(), Outcome::Stay);
    EXPECT_FALSE(QFileInfo::exists(userCopy()));

    // The copy is in place but cannot be started: the original is kept.
    files.failCopy = false;
    launcher.succeed = false;
    alerts.answers = {AppMover::kMoveForThisUser};
    EXPECT_EQ(move(), Outcome::Stay);
    EXPECT_EQ(contents(where.executable), kNewBytes);
    EXPECT_EQ(contents(userCopy()), kNewBytes);
}

TEST_F(AppMoverTest, PrivilegedCopyThatFailsEndsTheProgram) {
    files.readOnly = {where.systemPrefix + "/bin"};
    alerts.answers = {AppMover::kMoveForAllUsers};
    privileged.results = {PrivilegedRunner::Result::Failed};
    EXPECT_EQ(move(), Outcome::Terminate);
    EXPECT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(contents(where.executable), kNewBytes);
    EXPECT_TRUE(launcher.spawned.empty());
}

// ---- paths that a shell would read as commands -----------------------------------

const QString kHostile = QStringLiteral("a b 'q' \"d\" $(touch pwned1) `touch pwned2` ;touch pwned3\nnext line");

class HostilePathTest : public AppMoverTest {
protected:
    HostilePathTest() : AppMoverTest(kHostile, QStringLiteral("home ") + kHostile) {}
};

TEST_F(HostilePathTest, CopiedAndRelaunchedExactlyAndNothingRuns) {
    files.readOnly = {where.systemPrefix + "/bin"};
    alerts.answers = {AppMover::kMoveForAllUsers, AppMover::kMoveForThisUser};
    privileged.results = {PrivilegedRunner::Result::Cancelled};

    ASSERT_EQ(move(), Outcome::Relaunch);
    // Each path is one argument, exactly as it is on disk.
    ASSERT_EQ(privileged.runs.size(), 1u);
    EXPECT_EQ(privileged.runs.front().at(4), where.executable);
    EXPECT_EQ(privileged.runs.front().at(5), systemCopy());
    ASSERT_EQ(launcher.spawned.size(), 1u);
    EXPECT_EQ(launcher.spawned.front(), relaunchOf(userCopy()));
    EXPECT_EQ(contents(userCopy()), kNewBytes);
    EXPECT_FALSE(QFileInfo::exists(where.executable));
    for (const char* name : {"pwned1", "pwned2", "pwned3"}) {
        EXPECT_FALSE(anyFileNamed(root, name)) << name;
        EXPECT_FALSE(QFileInfo::exists(QDir::currentPath() + '/' + name)) << name;
    }

    // The desktop entry naming such a path is still a valid one.
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty()) GTEST_SKIP() << "desktop-file-validate is not installed";
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(validator, {where.dataHome + "/applications/glidemark.desktop"});
    ASSERT_TRUE(validate.waitForFinished(10000));
    const QByteArray report = validate.readAll();
    EXPECT_EQ(validate.exitCode(), 0) << report.constData();
    EXPECT_FALSE(report.contains("error")) << report.constData();
}

TEST(DesktopEntryTest, ExecQuotesThePathAsOneArgument) {
    // Exec quoting first (backslash before " ` $ \, %% for %), then the
    // string escapes of the file (\\ and \n).
    EXPECT_EQ(AppMover::desktopExecArgument(QStringLiteral("/h/a b/\"$(x)`y`\\50%\nz")),
              QStringLiteral("\"/h/a b/\\\\\"\\\\$(x)\\\\`y\\\\`\\\\\\\\50%%\\nz\""));
    EXPECT_EQ(AppMover::desktopExecArgument(QStringLiteral("/usr/local/bin/glidemark")),
              QStringLiteral("\"/usr/local/bin/glidemark\""));
}

// ---- real processes -------------------------------------------------------------------

TEST(AppMoverProcessTest, LauncherPassesEveryArgumentUntouched) {
    const QString folder = makeTempDir() + '/' + kHostile;
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString program = folder + QStringLiteral("/glidemark");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/usr/bin/touch"), program));
    const QString made = folder + QStringLiteral("/made ") + kHostile;

    ASSERT_TRUE(AppMover::processLauncher()->spawn({program, made}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(made); }, 5000));
    QTest::qWait(100);
    for (const char* name : {"pwned1", "pwned2", "pwned3"}) {
        EXPECT_FALSE(anyFileNamed(folder, name)) << name;
        EXPECT_FALSE(QFileInfo::exists(QDir::currentPath() + '/' + name)) << name;
    }
}

TEST(AppMoverProcessTest, RunningCopiesAreFoundByTheirExecutable) {
    const QString folder = makeTempDir();
    const QString program = folder + QStringLiteral("/glidemark");
    const QString idle = folder + QStringLiteral("/idle");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), idle));
    QProcess copy;
    copy.start(program, {QStringLiteral("30")});
    ASSERT_TRUE(copy.waitForStarted());

    const auto copies = AppMover::runningCopies();
    EXPECT_TRUE(copies->isRunning(program));
    EXPECT_FALSE(copies->isRunning(idle));
    copy.kill();
    copy.waitForFinished();
    EXPECT_FALSE(copies->isRunning(program));
}

TEST(AppMoverProcessTest, RelaunchedCopyStartsOnlyOnceTheOldProcessHasEnded) {
    QProcess old;
    old.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(old.waitForStarted());
    QProcess relaunched;
    relaunched.start(QStringLiteral(GLIDEMARK_EXECUTABLE),
                     {QStringLiteral("--wait-for-pid"), QString::number(old.processId()), QStringLiteral("--version")});
    ASSERT_TRUE(relaunched.waitForStarted());
    EXPECT_FALSE(relaunched.waitForFinished(500)) << "it did not wait";

    old.kill();
    ASSERT_TRUE(relaunched.waitForFinished(5000));
    EXPECT_EQ(relaunched.exitCode(), 0);
    EXPECT_TRUE(relaunched.readAllStandardOutput().startsWith("glidemark "));
}

TEST(AppMoverProcessTest, WaitingForAProcessEndsWithItOrAtTheTimeout) {
    QProcess sleeper;
    sleeper.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(sleeper.waitForStarted());
    EXPECT_FALSE(AppMover::waitForProcessToEnd(sleeper.processId(), 200));
    sleeper.kill();
    // Not reaped yet (a zombie) still counts as ended.
    EXPECT_TRUE(AppMover::waitForProcessToEnd(sleeper.processId(), 5000));
    sleeper.waitForFinished();
}

}  // namespace
}  // namespace gm::app::test
