// The real program on the real Linux desktop backend, on a private X server
// with a window manager and a tray host: it comes up, shows the access alert
// (this machine gives it no mice), and ends cleanly on SIGTERM or when another
// copy takes over; given access (the stand-in backend), it brings its
// preferences forward when launched again. Built with sanitizers, a clean exit also means none of them
// reported anything.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/linux/desktop/X11Connection.h"
#include "platform/linux/desktop/XvfbServer.h"

namespace {

namespace ld = gm::platform::linux_desktop;
using gm::testing::XvfbServer;

// Polls `ready` for up to `ms` (the program takes a while to start under
// sanitizers), reading the children's output meanwhile so that none blocks on it.
template <typename Ready>
bool waitUntil(Ready ready, int ms = 60000) {
    QDeadlineTimer deadline(ms);
    while (!ready()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents();
        QThread::msleep(50);
    }
    return true;
}

class ProgramOnX11 : public ::testing::Test {
protected:
    void SetUp() override {
        std::string whyNot;
        server_ = XvfbServer::start(whyNot);
        if (!server_) GTEST_SKIP() << whyNot;
        if (QStandardPaths::findExecutable("xdotool").isEmpty()) GTEST_SKIP() << "needs xdotool";
        x_ = ld::X11Connection::open(server_->display().c_str());
        ASSERT_TRUE(x_);
        env_.insert("DISPLAY", QString::fromStdString(server_->display()));
        for (const char* name : {"WAYLAND_DISPLAY", "GLIDEMARK_BACKEND", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS"})
            env_.remove(name);
        env_.insert("XDG_RUNTIME_DIR", runtime_.path());
        env_.insert("XDG_CONFIG_HOME", config_.path());
        // Copies run from temporary folders would otherwise offer to install themselves.
        env_.insert("GLIDEMARK_NO_MOVE", "1");

        QProcess& wm = start("openbox", {"--sm-disable"});
        QProcess& tray = start("trayer", {});
        if (!waitUntil([&] { return owned("WM_S0"); }, 10000))
            GTEST_SKIP() << "openbox did not start: " << wm.readAll().constData();
        if (!waitUntil([&] { return owned("_NET_SYSTEM_TRAY_S0"); }, 10000))
            GTEST_SKIP() << "trayer did not take the system tray: " << tray.readAll().constData();
    }
    void TearDown() override {
        for (auto it = processes_.rbegin(); it != processes_.rend(); ++it) {
            (*it)->kill();
            (*it)->waitForFinished(5000);
        }
    }

    QProcess& start(const QString& program, const QStringList& args = {}) {
        auto& process = *processes_.emplace_back(std::make_unique<QProcess>());
        process.setProcessEnvironment(env_);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, args);
        EXPECT_TRUE(process.waitForStarted(5000)) << program.toStdString();
        return process;
    }

    // Whether someone owns the selection: WM_S0 the window manager, _NET_SYSTEM_TRAY_S0 the tray host.
    bool owned(const std::string& selection) {
        xcb_connection_t* c = x_->raw();
        ld::XcbReply<xcb_intern_atom_reply_t> atom{xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(selection.size()), selection.c_str()), nullptr)};
        ld::XcbReply<xcb_get_selection_owner_reply_t> owner{
            atom ? xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr) : nullptr};
        return owner && owner->owner != XCB_NONE;
    }
    QByteArray xdotool(const QStringList& arguments) {
        QProcess tool;
        tool.setProcessEnvironment(env_);
        tool.start("xdotool", arguments);
        tool.waitForFinished(5000);
        return tool.readAllStandardOutput().trimmed();
    }
    // Up: a window of the program (the access alert) is shown and active, which takes the window manager,
    // and the program's watch of the active window has something to report.
    void expectUp(QProcess& program) {
        const QStringList search{"search", "--onlyvisible", "--pid", QString::number(program.processId())};
        const auto active = [&] {
            const QByteArray window = xdotool({"getactivewindow"});
            return !window.isEmpty() && xdotool(search).split('\n').contains(window);
        };
        ASSERT_TRUE(waitUntil([&] { return active() || program.state() == QProcess::NotRunning; }) &&
                    program.state() == QProcess::Running)
            << program.readAll().constData();
    }
    // Ends by itself (or after SIGTERM) with status 0 and no sanitizer report; returns what it said last.
    static QByteArray expectCleanExit(QProcess& program, QByteArray expectedLine) {
        EXPECT_TRUE(program.state() == QProcess::NotRunning || program.waitForFinished(60000));
        const QByteArray output = program.readAll();
        EXPECT_EQ(std::tuple(program.exitStatus(), program.exitCode()), std::tuple(QProcess::NormalExit, 0)) << output.constData();
        EXPECT_FALSE(output.contains("Sanitizer") || output.contains("runtime error")) << output.constData();
        EXPECT_TRUE(output.contains(expectedLine)) << output.constData();
        EXPECT_FALSE(output.contains("No system tray available")) << "the icon belongs in trayer";
        return output;
    }
    // The process that holds the single-instance socket, as it says when asked.
    qint64 socketHolder() {
        QLocalSocket socket;
        socket.connectToServer(runtime_.filePath("glidemark.sock"));
        return socket.waitForReadyRead(1000) ? socket.readLine().split('\t').value(0).toLongLong() : 0;
    }
    // Reads the program's output into `seen` until it has said `line`.
    static bool waitForLine(QProcess& program, QByteArray& seen, const QByteArray& line) {
        return waitUntil([&] { return (seen += program.readAll()).contains(line); });
    }

    std::unique_ptr<XvfbServer> server_;
    std::unique_ptr<ld::X11Connection> x_;
    QTemporaryDir runtime_, config_, copies_;
    QProcessEnvironment env_ = QProcessEnvironment::systemEnvironment();
    std::vector<std::unique_ptr<QProcess>> processes_;
};

// A second launch re-opens the running copy; a copy elsewhere counts as another
// installation, which takes over; all end cleanly.
TEST_F(ProgramOnX11, SecondLaunchReopensAnotherCopyTakesOverAndAllEndCleanly) {
    QProcess& first = start(GLIDEMARK_EXECUTABLE);
    expectUp(first);
    expectCleanExit(start(GLIDEMARK_EXECUTABLE), "Re-open: Running instance " + QByteArray::number(first.processId()));
    EXPECT_EQ(first.state(), QProcess::Running);
    const QString copy = copies_.filePath("glidemark");
    ASSERT_TRUE(QFile::copy(GLIDEMARK_EXECUTABLE, copy));
    QProcess& other = start(copy);
    expectCleanExit(first, "Quit requested by another copy of the program");
    expectUp(other);
    // Once the old copy has let the socket go, the new one holds it: a launch of it again is a re-open.
    ASSERT_TRUE(waitUntil([&] { return socketHolder() == other.processId(); }, 10000));
    expectCleanExit(start(copy), "Re-open: Running instance " + QByteArray::number(other.processId()));
    other.terminate();
    expectCleanExit(other, "App terminated");
}

// With input access (the stand-in backend gives it): launching again opens the preferences
// under one title, and restores them when minimised; then a copy elsewhere, started without a
// display, takes over and runs only the engine.
TEST_F(ProgramOnX11, WithAccessLaunchingAgainBringsThePreferencesAndAHeadlessCopyTakesOver) {
    env_.insert("GLIDEMARK_BACKEND", "standin");
    auto shownWindow = [&] { return xdotool({"search", "--onlyvisible", "--name", "^Glidemark Preferences"}); };
    QProcess& first = start(GLIDEMARK_EXECUTABLE);
    QByteArray output;
    ASSERT_TRUE(waitForLine(first, output, "Engine started")) << output.constData();
    EXPECT_FALSE(output.contains("No system tray")) << "the tray is there: no window at launch";
    QByteArray window;
    for (const char* step : {"opens", "restores"}) {
        SCOPED_TRACE(step);
        expectCleanExit(start(GLIDEMARK_EXECUTABLE), "Re-open: Running instance");
        ASSERT_TRUE(waitUntil([&] { return !(window = shownWindow()).isEmpty(); }, 5000));
        EXPECT_EQ(xdotool({"getwindowname", QString::fromLatin1(window)}).toStdString(), "Glidemark Preferences");
        xdotool({"windowminimize", QString::fromLatin1(window)});
        ASSERT_TRUE(waitUntil([&] { return shownWindow().isEmpty(); }, 5000));
    }

    const QString copy = copies_.filePath("glidemark");
    ASSERT_TRUE(QFile::copy(GLIDEMARK_EXECUTABLE, copy));
    const QByteArray firstPid = QByteArray::number(first.processId());
    env_.remove("DISPLAY");
    QProcess& other = start(copy);
    QByteArray otherOutput;
    ASSERT_TRUE(waitForLine(other, otherOutput, "Engine started")) << otherOutput.constData() << " first=" << first.processId();
    EXPECT_TRUE(otherOutput.contains("Terminate: Other instance " + firstPid)) << otherOutput.constData();
    EXPECT_TRUE(otherOutput.contains("No display: running the scroll engine without the tray icon and windows"));
    EXPECT_FALSE(otherOutput.contains("StatusBarManager"));
    expectCleanExit(first, "App terminated");
    other.terminate();
    expectCleanExit(other, "Engine ended");
}

// Quitting while the access alert is open asks for no access on the way out.
TEST_F(ProgramOnX11, QuittingWhileTheAccessAlertIsOpenAsksForNoAccess) {
    env_.insert("GLIDEMARK_BACKEND", "standin");
    env_.insert("GLIDEMARK_STANDIN_ACCESS", "denied");
    QProcess& program = start(GLIDEMARK_EXECUTABLE);
    expectUp(program);
    program.terminate();
    EXPECT_FALSE(expectCleanExit(program, "App terminated").contains("Access requested"));
}

}  // namespace
