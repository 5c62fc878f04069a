// Installing the program from wherever it was started: in temporary folders,
// with the real file operations and fakes for the authentication prompt, the
// relaunch and the running copies. The last tests start real processes.
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
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
    bool copyExecutable(const QString& from, const QString& to) override { return !failCopy && real->copyExecutable(from, to); }
    bool writeFile(const QString& path, const QByteArray& bytes) override { return real->writeFile(path, bytes); }
    bool remove(const QString& path) override { return real->remove(path); }
    bool moveToTrash(const QString& path) override { return real->moveToTrash(path); }
};

// The authentication prompt, the relaunch and the running copies, each recording what it was asked.
class FakeSystem final : public PrivilegedRunner, public AppMover::Launcher, public AppMover::RunningCopies {
public:
    std::deque<Result> results;  // of the privileged runs; Done when none are left
    std::vector<QStringList> runs, spawned;
    bool launchSucceeds = true;
    QStringList running, broughtForward;

    Result run(const QStringList& argv) override {
        runs.push_back(argv);
        const Result result = results.empty() ? Result::Done : results.front();
        if (!results.empty()) results.pop_front();
        return result;
    }
    bool spawn(const QStringList& argv) override {
        spawned.push_back(argv);
        return launchSucceeds;
    }
    bool isRunning(const QString& executable) const override { return running.contains(executable); }
    void bringForward(const QString& executable) override { broughtForward.push_back(executable); }
};

// Nothing named like the commands hidden in the hostile paths below was created, under `root` or here.
void expectNothingRan(const QString& root) {
    for (const QString name : {"pwned1", "pwned2", "pwned3"}) {
        bool found = QFileInfo::exists(QDir::currentPath() + '/' + name);
        for (QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext() && !found;)
            found = QFileInfo(it.next()).fileName() == name;
        EXPECT_FALSE(found) << name.toStdString();
    }
}

// A program in a download folder under a temporary home, and the services it is moved with.
struct Scene {
    Scene() : Scene(QStringLiteral("Downloads"), QStringLiteral("home")) {}
    Scene(const QString& downloads, const QString& home) {
        logLines().clear();
        where.home = root + '/' + home;
        where.dataHome = where.home + QStringLiteral("/.local/share");
        where.executable = where.home + '/' + downloads + QStringLiteral("/glidemark");
        where.prefixes = {root + QStringLiteral("/usr"), where.home + QStringLiteral("/.local")};
        where.systemPrefix = root + QStringLiteral("/usr/local");
        where.pid = 4242;
        where.displayName = QStringLiteral("Glidemark");
        writeFile(where.executable, kNewBytes);
        QDir().mkpath(where.systemPrefix + QStringLiteral("/bin"));
        // The trash is the one in XDG_DATA_HOME when the file is on the home folder's disk; the
        // launch-at-login entry is looked for in XDG_CONFIG_HOME.
        environment = std::make_unique<ScopedEnvironment>(std::vector<std::pair<const char*, QString>>{
            {"XDG_DATA_HOME", where.dataHome}, {"HOME", where.home}, {"XDG_CONFIG_HOME", where.home + "/.config"}});
    }

    Outcome move() { return AppMover::moveToApplicationsFolderIfNecessary(where, services); }
    QString userCopy() const { return where.home + QStringLiteral("/.local/bin/glidemark"); }
    QString systemCopy() const { return where.systemPrefix + QStringLiteral("/bin/glidemark"); }
    QString menuEntry() const { return where.dataHome + QStringLiteral("/applications/glidemark.desktop"); }
    QStringList relaunchOf(const QString& copy) const { return {copy, QStringLiteral("--wait-for-pid"), QStringLiteral("4242")}; }

    QString root = makeTempDir();
    AppMover::Locations where;
    std::unique_ptr<ScopedEnvironment> environment;
    TestFiles files;
    FakeSystem system;
    ScriptedAlerts alerts;
    AppMover::Services services{files, system, system, system, alerts};
};

class AppMoverTest : public ::testing::Test, public Scene {};

TEST_F(AppMoverTest, InstallsForThisUserTrashesTheOlderCopyAndRelaunches) {
    writeFile(userCopy(), kOldBytes);
    // Launch at login was on for the copy about to go.
    LaunchAtLogin::setProgramPath(where.executable);
    LaunchAtLogin::setEnabled(true);
    LaunchAtLogin::setProgramPath(QString());
    alerts.answers = {AppMover::kMoveForThisUser};
    ASSERT_EQ(move(), Outcome::Relaunch);
    EXPECT_TRUE(contents(LaunchAtLogin::entryPath()).contains("\nExec=\"" + QFile::encodeName(userCopy()) + "\"\n"));

    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(QStringList({alerts.shown[0].messageText, alerts.shown[0].informativeText}) + alerts.shown[0].buttons,
              QStringList({"Install Glidemark",
                           "Glidemark needs to be installed in order to work properly: for this user in ~/.local/bin, "
                           "or for everyone in /usr/local/bin.",
                           "Install for This User", "Install for Everyone", "Do Not Install"}));

    EXPECT_EQ(contents(userCopy()), kNewBytes);
    struct stat status {};
    ASSERT_EQ(stat(QFile::encodeName(userCopy()).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0755u);
    EXPECT_FALSE(QFileInfo::exists(where.executable)) << "the copy it was started from stays behind";
    EXPECT_TRUE(system.runs.empty());
    EXPECT_EQ(system.spawned, std::vector<QStringList>{relaunchOf(userCopy())});

    // The older copy went to the trash before the new one took its place.
    EXPECT_EQ(contents(where.dataHome + "/Trash/files/glidemark"), kOldBytes);
    const QByteArray info = contents(where.dataHome + "/Trash/info/glidemark.trashinfo");
    EXPECT_TRUE(info.startsWith("[Trash Info]\n")) << info.constData();
    EXPECT_TRUE(info.contains("Path=" + QUrl::toPercentEncoding(userCopy(), "/") + "\n")) << info.constData();

    const QByteArray entry = contents(menuEntry());
    EXPECT_TRUE(entry.contains("\nExec=\"" + QFile::encodeName(userCopy()) + "\"\n")) << entry.constData();
    EXPECT_TRUE(entry.contains("\nIcon=glidemark\n") && !entry.contains("TryExec"));
    EXPECT_TRUE(contents(where.dataHome + "/icons/hicolor/scalable/apps/glidemark.svg").startsWith("<svg"));
}

// Every answer is one alert and every privileged result one run of the install.
TEST(AppMoverFlowTest, EachSituationEndsAsItShould) {
    using R = PrivilegedRunner::Result;
    using O = Outcome;
    constexpr int kUser = AppMover::kMoveForThisUser, kAll = AppMover::kMoveForAllUsers, kNo = AppMover::kDoNotMove;
    const auto readOnlySystem = [](Scene& s) { s.files.readOnly = {s.where.systemPrefix + "/bin"}; };
    const auto at = [](const char* place) {
        return [place](Scene& s) { writeFile(s.where.executable = s.root + place, kNewBytes); };
    };
    struct Row {
        const char* name;
        std::function<void(Scene&)> setUp;
        std::deque<int> answers;
        std::deque<R> privileged;
        Outcome outcome;
        QString launched = {};  // the copy asked to start ("user"/"system"), if any
        QByteArray atUserCopy = "<missing>";
    };
    const std::vector<Row> rows{
        {"in ~/.local/bin", at("/home/.local/bin/glidemark"), {}, {}, O::Stay, {}, kNewBytes},
        {"in /usr/local/bin", at("/usr/local/bin/glidemark"), {}, {}, O::Stay},
        // A folder whose name only begins like a prefix is somewhere else.
        {"in /usr-old/bin", at("/usr-old/bin/glidemark"), {kNo}, {}, O::Stay},
        {"Do Not Install", [](Scene&) {}, {kNo}, {}, O::Stay},
        // ~/.local does not exist yet: its parent decides whether the administrator is needed.
        {"home read-only", [](Scene& s) { s.files.readOnly = {s.where.home}; }, {kNo}, {}, O::Stay},
        {"the copy fails", [](Scene& s) { s.files.failCopy = true; }, {kUser}, {}, O::Stay},
        // The copy is in place but cannot be started: the original is kept.
        {"the relaunch fails", [](Scene& s) { s.system.launchSucceeds = false; }, {kUser}, {}, O::Stay, "user", kNewBytes},
        {"a copy runs there", [](Scene& s) { writeFile(s.userCopy(), kOldBytes), s.system.running = {s.userCopy()}; },
         {kUser}, {}, O::BroughtForward, {}, kOldBytes},
        {"password cancelled, then Do Not Install", readOnlySystem, {kAll, kNo}, {R::Cancelled}, O::Stay},
        {"password cancelled, then given", readOnlySystem, {kAll, kAll}, {R::Cancelled, R::Done}, O::Relaunch, "system"},
        {"the privileged install fails", readOnlySystem, {kAll}, {R::Failed}, O::Terminate},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Scene s;
        row.setUp(s);
        s.alerts.answers = row.answers;
        s.system.results = row.privileged;
        const QString started = s.where.executable;
        EXPECT_EQ(s.move(), row.outcome);
        EXPECT_EQ(s.alerts.shown.size(), row.answers.size());
        for (const Alert& alert : s.alerts.shown)
            EXPECT_EQ(alert.informativeText.endsWith("/usr/local/bin. You need to authenticate with your administrator "
                                                     "password to complete this step."),
                      s.files.readOnly.contains(s.where.home));
        EXPECT_EQ(s.system.runs.size(), row.privileged.size());
        for (const QStringList& run : s.system.runs)
            EXPECT_EQ(run, QStringList({"/usr/bin/install", "-D", "-m", "0755", started, s.systemCopy()}));
        const QString launched = row.launched == "user" ? s.userCopy() : s.systemCopy();
        EXPECT_EQ(s.system.spawned, row.launched.isEmpty() ? std::vector<QStringList>{}
                                                              : std::vector<QStringList>{s.relaunchOf(launched)});
        EXPECT_EQ(contents(s.userCopy()), row.atUserCopy);
        EXPECT_EQ(QFileInfo::exists(started), row.outcome != O::Relaunch);
        EXPECT_EQ(s.system.broughtForward, row.outcome == O::BroughtForward ? QStringList{s.userCopy()} : QStringList{});
        EXPECT_FALSE(QFileInfo::exists(s.where.dataHome + "/Trash"));
        // The menu entry is the user's own, naming the copy that was installed.
        EXPECT_TRUE(row.outcome != O::Relaunch ||
                    contents(s.menuEntry()).contains("\nExec=\"" + QFile::encodeName(launched) + "\"\n"));
    }
}

// ---- paths that a shell would read as commands -----------------------------------

const QString kHostile = QStringLiteral("a b 'q' \"d\" $(touch pwned1) `touch pwned2` ;touch pwned3\nnext line");

class HostilePathTest : public ::testing::Test, public Scene {
protected:
    HostilePathTest() : Scene(kHostile, QStringLiteral("home ") + kHostile) {}
};

// Copied and relaunched exactly, and nothing in the paths runs; the real launcher too passes
// such paths untouched.
TEST_F(HostilePathTest, CopiedAndRelaunchedExactlyAndNothingRuns) {
    files.readOnly = {where.systemPrefix + "/bin"};
    alerts.answers = {AppMover::kMoveForAllUsers, AppMover::kMoveForThisUser};
    system.results = {PrivilegedRunner::Result::Cancelled};

    ASSERT_EQ(move(), Outcome::Relaunch);
    // Each path is one argument, exactly as it is on disk.
    EXPECT_EQ(system.runs, (std::vector<QStringList>{{"/usr/bin/install", "-D", "-m", "0755", where.executable, systemCopy()}}));
    EXPECT_EQ(system.spawned, std::vector<QStringList>{relaunchOf(userCopy())});
    EXPECT_EQ(contents(userCopy()), kNewBytes);
    EXPECT_FALSE(QFileInfo::exists(where.executable));
    const QString touch = QFileInfo(where.executable).path() + "/touch", made = touch + " made " + kHostile;
    ASSERT_TRUE(QFile::copy("/usr/bin/touch", touch));
    ASSERT_TRUE(AppMover::processLauncher()->spawn({touch, made}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(made); }, 5000));
    QTest::qWait(100);
    expectNothingRan(root);

    // The desktop entry naming such a path is still a valid one.
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty()) GTEST_SKIP() << "desktop-file-validate is not installed";
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(validator, {menuEntry()});
    ASSERT_TRUE(validate.waitForFinished(10000));
    const QByteArray report = validate.readAll();
    EXPECT_TRUE(validate.exitCode() == 0 && !report.contains("error")) << report.constData();
}

TEST(DesktopEntryTest, ExecQuotesThePathAsOneArgument) {
    // Exec quoting first (backslash before " ` $ \, %% for %), then the
    // string escapes of the file (\\ and \n).
    EXPECT_EQ(AppMover::desktopExecArgument("/h/a b/\"$(x)`y`\\50%\nz"), "\"/h/a b/\\\\\"\\\\$(x)\\\\`y\\\\`\\\\\\\\50%%\\nz\"");
    EXPECT_EQ(AppMover::desktopExecArgument("/usr/local/bin/glidemark"), "\"/usr/local/bin/glidemark\"");
}

// ---- real processes -------------------------------------------------------------------

// Running copies are found by their executable; the relaunched copy waits for the old process
// by its id, and a zombie counts as ended.
TEST(AppMoverProcessTest, RunningCopiesAreFoundAndTheRelaunchWaitsForTheOldOne) {
    const QString folder = makeTempDir();
    const QString program = folder + "/glidemark", idle = folder + "/idle";
    ASSERT_TRUE(QFile::copy("/bin/sleep", program) && QFile::copy("/bin/sleep", idle));
    QProcess old;
    old.start(program, {"30"});
    ASSERT_TRUE(old.waitForStarted());
    const auto copies = AppMover::runningCopies();
    EXPECT_TRUE(copies->isRunning(program) && !copies->isRunning(idle));

    QProcess relaunched;
    relaunched.start(GLIDEMARK_EXECUTABLE, {"--wait-for-pid", QString::number(old.processId()), "--version"});
    ASSERT_TRUE(relaunched.waitForStarted());
    EXPECT_FALSE(AppMover::waitForProcessToEnd(old.processId(), 200));
    EXPECT_FALSE(relaunched.waitForFinished(300)) << "it did not wait";
    old.kill();
    EXPECT_TRUE(AppMover::waitForProcessToEnd(old.processId(), 5000));
    ASSERT_TRUE(relaunched.waitForFinished(5000));
    EXPECT_TRUE(relaunched.exitCode() == 0 && relaunched.readAllStandardOutput().startsWith("glidemark "));
    old.waitForFinished();
    EXPECT_FALSE(copies->isRunning(program));
}

}  // namespace
}  // namespace gm::app::test
