// One running copy per user: a second launch of the same program hands over a
// re-open request and ends; a different copy asks the running one to quit and
// takes over (shown with the real program in ProgramOnX11Test).
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
    ASSERT_TRUE(QFile(socket).open(QIODevice::WriteOnly));  // left by a crashed copy, it is replaced
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
    EXPECT_TRUE(!second.isListening() && running.isListening());

    // Another copy that may not end others gives way.
    SingleInstance other(socket, {333, "/elsewhere/glidemark"});
    EXPECT_EQ(Utils::enforceSingleInstance(false, other), Utils::InstanceDecision::Exit);
    EXPECT_TRUE(logLines().contains("Terminate: Suicide") && quits.isEmpty());
}

TEST_F(SingleInstanceTest, WithoutARuntimeDirectoryOnlyAPrivateFolderOfThisUserHoldsTheSocket) {
    const ScopedEnvironment environment{{{"XDG_RUNTIME_DIR", QString()}, {"TMPDIR", makeTempDir()}}};
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
}

}  // namespace
}  // namespace gm::app::test
