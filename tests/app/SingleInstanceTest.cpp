// One running copy per user: a second launch of the same program hands over a
// re-open request and ends; a different copy asks the running one to quit and
// takes over (shown with the real program in the last tests).
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iostream>

#include "AppTestSupport.h"
#include "app/SingleInstance.h"
#include "app/Utils.h"

namespace gm::app::test {
namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    SingleInstanceTest() { logLines().clear(); }
    QString socket = makeTempDir() + "/glidemark.sock";
};

TEST_F(SingleInstanceTest, SecondLaunchOfTheSameProgramHandsOverAReopenAndEnds) {
    SingleInstance running(socket, {111, "/opt/glidemark/bin/glidemark"});
    ASSERT_EQ(Utils::enforceSingleInstance(true, running), Utils::InstanceDecision::Continue);
    QSignalSpy reopens(&running, &SingleInstance::reopenRequested);
    QSignalSpy quits(&running, &SingleInstance::quitRequested);

    SingleInstance second(socket, {222, "/opt/glidemark/bin/glidemark"});
    // The launcher's token goes along, so the running copy's windows may take the focus.
    qputenv("XDG_ACTIVATION_TOKEN", "kwin-7_b.c");
    EXPECT_EQ(Utils::enforceSingleInstance(true, second), Utils::InstanceDecision::Exit);
    qunsetenv("XDG_ACTIVATION_TOKEN");
    ASSERT_TRUE(QTest::qWaitFor([&] { return reopens.count() == 1; }, 2000));
    EXPECT_EQ(reopens.at(0).at(0).toString(), "kwin-7_b.c");
    EXPECT_EQ(quits.count(), 0);
    EXPECT_FALSE(second.isListening());
    EXPECT_TRUE(running.isListening());
}

TEST_F(SingleInstanceTest, WithoutTerminatingOthersTheNewCopyGivesWay) {
    SingleInstance running(socket, {111, "/usr/bin/glidemark"});
    ASSERT_EQ(Utils::enforceSingleInstance(true, running), Utils::InstanceDecision::Continue);
    SingleInstance other(socket, {222, "/elsewhere/glidemark"});
    EXPECT_EQ(Utils::enforceSingleInstance(false, other), Utils::InstanceDecision::Exit);
    EXPECT_TRUE(logLines().contains("Terminate: Suicide"));
}

TEST_F(SingleInstanceTest, SocketLeftByACrashedCopyIsReplaced) {
    {
        QFile stale(socket);
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    }
    SingleInstance fresh(socket, {111, "/usr/bin/glidemark"});
    EXPECT_EQ(Utils::enforceSingleInstance(true, fresh), Utils::InstanceDecision::Continue);
    EXPECT_TRUE(fresh.isListening());
}

TEST_F(SingleInstanceTest, WithoutARuntimeDirectoryOnlyAPrivateFolderOfThisUserHoldsTheSocket) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), tmp = qgetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(makeTempDir()));
    const QByteArray folder = QFile::encodeName(QDir::tempPath() + QStringLiteral("/glidemark-%1").arg(getuid()));
    const struct {
        const char* name;
        int mode;  // -1: no folder yet
        bool link, otherOwner, usable;
    } rows[] = {{"absent", -1, false, false, true},         {"private", 0700, false, false, true},
                {"open to others", 0733, false, false, false}, {"a link", 0700, true, false, false},
                {"someone else's", 0700, false, true, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QDir(QString::fromLocal8Bit(folder)).removeRecursively();
        QFile::remove(QString::fromLocal8Bit(folder));
        const QByteArray made = row.link ? folder + ".target" : folder;
        if (row.mode >= 0) {
            ASSERT_EQ(::mkdir(made.constData(), 0700) | ::chmod(made.constData(), static_cast<mode_t>(row.mode)), 0);
        }
        if (row.link) {
            ASSERT_EQ(::symlink(made.constData(), folder.constData()), 0);
        }
        if (row.otherOwner && ::chown(made.constData(), getuid() + 1, static_cast<gid_t>(-1)) != 0) {
            std::cout << "not checked: a folder of someone else (changing its owner needs root)\n";
            continue;
        }
        EXPECT_EQ(SingleInstance::defaultSocketName().isEmpty(), !row.usable);
        struct stat info {};
        if (row.usable) {
            EXPECT_TRUE(::lstat(folder.constData(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & 077) == 0);
        }
    }
    for (const auto& [name, value] : {std::pair{"XDG_RUNTIME_DIR", runtime}, std::pair{"TMPDIR", tmp}})
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
}

// ---- the real program -------------------------------------------------------

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() {
        environment.insert("XDG_RUNTIME_DIR", runtime);
        environment.insert("XDG_CONFIG_HOME", makeTempDir());
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        // These tests are about the program's instances, not about this machine's mice.
        environment.insert("GLIDEMARK_BACKEND", "standin");
        // Copies run from temporary folders would otherwise offer to install themselves.
        environment.insert("GLIDEMARK_NO_MOVE", "1");
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
    }
    ~ProgramTest() override {
        for (auto& process : processes) {
            if (process->state() == QProcess::NotRunning) continue;
            process->kill();
            process->waitForFinished(2000);
        }
    }

    QProcess& start(const QString& program, const QProcessEnvironment& env) {
        processes.push_back(std::make_unique<QProcess>());
        QProcess& process = *processes.back();
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, {});
        EXPECT_TRUE(process.waitForStarted(5000));
        return process;
    }
    QProcess& start(const QString& program) { return start(program, environment); }

    // (waitForFinished answers false for a process that has already ended.)
    static bool finished(QProcess& process) {
        return process.state() == QProcess::NotRunning || process.waitForFinished(10000);
    }

    // Waits until the program has said `line` (its log goes to standard error).
    static bool waitForOutput(QProcess& process, const QByteArray& line, QByteArray& seen, int timeoutMs = 10000) {
        return QTest::qWaitFor(
            [&] {
                seen += process.readAll();
                return seen.contains(line);
            },
            timeoutMs);
    }

    QString runtime = makeTempDir();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    std::vector<std::unique_ptr<QProcess>> processes;
};

// A second launch re-opens the running copy; another copy (this one without a display, so
// only its engine runs) takes over; SIGTERM ends it cleanly.
TEST_F(ProgramTest, OneCopyRunsAtATime) {
    QProcess& first = start(GLIDEMARK_EXECUTABLE);
    QByteArray firstOutput;
    ASSERT_TRUE(waitForOutput(first, "Engine started", firstOutput)) << firstOutput.constData();
    QProcess& second = start(GLIDEMARK_EXECUTABLE);
    ASSERT_TRUE(finished(second));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAll().contains("Re-open: Running instance"));
    EXPECT_EQ(first.state(), QProcess::Running);

    const QString copy = makeTempDir() + "/glidemark";
    ASSERT_TRUE(QFile::copy(GLIDEMARK_EXECUTABLE, copy));
    QProcessEnvironment headless = environment;
    headless.remove("QT_QPA_PLATFORM");
    QProcess& other = start(copy, headless);
    QByteArray otherOutput;
    const QByteArray expected = "Terminate: Other instance " + QByteArray::number(first.processId());
    ASSERT_TRUE(waitForOutput(other, expected, otherOutput)) << otherOutput.constData();
    ASSERT_TRUE(finished(first));
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_TRUE((firstOutput + first.readAll()).contains("App terminated"));
    ASSERT_TRUE(waitForOutput(other, "Engine started", otherOutput)) << otherOutput.constData();
    EXPECT_TRUE(otherOutput.contains("No display: running the scroll engine without the tray icon and windows"));
    EXPECT_FALSE(otherOutput.contains("StatusBarManager"));
    // The new copy now holds the socket: a launch of it again is a re-open.
    QProcess& again = start(copy, headless);
    ASSERT_TRUE(finished(again));
    EXPECT_TRUE(again.readAll().contains("Re-open: Running instance " + QByteArray::number(other.processId())));

    other.terminate();
    ASSERT_TRUE(finished(other));
    otherOutput += other.readAll();
    EXPECT_EQ(other.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(other.exitCode(), 0);
    EXPECT_TRUE(otherOutput.contains("Engine ended")) << otherOutput.constData();
    EXPECT_TRUE(otherOutput.contains("App terminated"));
}

TEST_F(ProgramTest, QuittingWhileTheAccessAlertIsOpenAsksForNoAccess) {
    environment.insert("GLIDEMARK_STANDIN_ACCESS", "denied");
    QProcess& program = start(GLIDEMARK_EXECUTABLE);
    QByteArray output;
    ASSERT_TRUE(waitForOutput(program, "No permission", output)) << output.constData();
    QTest::qWait(300);  // the alert is up
    program.terminate();
    ASSERT_TRUE(finished(program));
    output += program.readAll();
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(output.contains("App terminated")) << output.constData();
    EXPECT_FALSE(output.contains("Access requested")) << output.constData();
}

}  // namespace
}  // namespace gm::app::test
