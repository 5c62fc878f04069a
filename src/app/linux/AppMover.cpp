#include "app/AppMover.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QStandardPaths>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/LaunchAtLogin.h"
#include "app/SingleInstance.h"
#include "app/Utils.h"
#include "platform/LocalText.h"
#include "platform/Log.h"

extern char** environ;

namespace gm::app::AppMover {

namespace {

const QString kProgramName = QStringLiteral("glidemark");
// What the privileged install runs; an absolute path, so that nothing is
// looked up on the administrator's PATH.
const QString kInstallProgram = QStringLiteral("/usr/bin/install");

struct Target {
    QString folder;       // where the executable goes
    QString destination;  // folder + program name
};

Target userTarget(const Locations& where) {
    const QString folder = where.home + QStringLiteral("/.local/bin");
    return {folder, folder + '/' + kProgramName};
}

Target systemTarget(const Locations& where) {
    const QString folder = where.systemPrefix + QStringLiteral("/bin");
    return {folder, folder + '/' + kProgramName};
}

// A folder that does not exist yet can be made when its nearest existing parent is writable.
bool canCreateIn(const Files& files, QString folder) {
    while (!files.exists(folder)) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) return false;
        folder = parent;
    }
    return files.isWritable(folder);
}

bool needsAuthorisation(const Files& files, const Target& target) {
    if (files.exists(target.destination))
        return !files.isWritable(target.destination) || !files.isWritable(target.folder);
    return !canCreateIn(files, target.folder);
}

// The desktop entry and the icon always go to the user's own data folder: the
// menu entry is found there without any further authentication.
void installDesktopFiles(const Locations& where, Files& files, const QString& executable) {
    const QString applications = where.dataHome + QStringLiteral("/applications");
    const QString icons = where.dataHome + QStringLiteral("/icons/hicolor/scalable/apps");
    QFile icon(QStringLiteral(":/glidemark/Glidemouse.svg"));
    const QByteArray iconBytes = icon.open(QIODevice::ReadOnly) ? icon.readAll() : QByteArray();
    const bool written = files.makeFolder(applications) &&
                         files.writeFile(applications + QStringLiteral("/glidemark.desktop"), desktopEntry(executable)) &&
                         !iconBytes.isEmpty() && files.makeFolder(icons) &&
                         files.writeFile(icons + QStringLiteral("/glidemark.svg"), iconBytes);
    if (!written) platform::log().error("Move: could not write the desktop entry or icon");
}

bool unusable(const QString& path) { return path.trimmed().isEmpty() || !QDir::isAbsolutePath(path); }

}  // namespace

Alert moveAlert(const QString& displayName, bool needsAuthorisation) {
    auto local = [](const char* text) { return QString::fromUtf8(platform::localText(text)); };
    QString text = (displayName.isEmpty() ? QStringLiteral("The App") : displayName) +
                   local(" needs to move to your Applications folder in order to work properly.");
    if (needsAuthorisation)
        text += QStringLiteral(" You need to authenticate with your administrator password to complete this step.");
    // "Do Not Move" stays last: closing the alert answers as the last button does.
    return {local("Move to Applications folder"), text,
            {local("Move to Applications Folder"), local("Move for All Users"), local("Do Not Move")}};
}

bool isInPlace(const Locations& where) {
    for (const QString& prefix : where.prefixes) {
        if (prefix.isEmpty()) continue;
        const QString root = prefix.endsWith('/') ? prefix : prefix + '/';
        if (where.executable.startsWith(root)) return true;
    }
    return false;
}

QString desktopExecArgument(const QString& path) {
    // First the Exec key's own quoting: inside double quotes, `"`, "`", `$`
    // and `\` take a backslash, and `%` is doubled (it starts field codes).
    QString quoted = QStringLiteral("\"");
    for (const QChar c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    // Then the escapes of every string value, which are undone first when read.
    QString escaped;
    for (const QChar c : quoted) {
        if (c == '\\') escaped += QStringLiteral("\\\\");
        else if (c == '\n') escaped += QStringLiteral("\\n");
        else if (c == '\t') escaped += QStringLiteral("\\t");
        else if (c == '\r') escaped += QStringLiteral("\\r");
        else escaped += c;
    }
    return escaped;
}

QByteArray desktopEntry(const QString& executable) {
    QFile file(QStringLiteral(":/glidemark/glidemark.desktop"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray entry;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        // TryExec names the program on PATH, which ~/.local/bin need not be on.
        if (line.startsWith("TryExec=")) continue;
        if (line.startsWith("Exec=")) {
            entry += "Exec=" + desktopExecArgument(executable).toUtf8() + '\n';
            continue;
        }
        entry += line;
    }
    return entry;
}

Outcome moveToApplicationsFolderIfNecessary(const Locations& where, Services& services) {
    if (isInPlace(where)) return Outcome::Stay;
    Files& files = services.files;
    const QString& source = where.executable;

    Target target;
    for (;;) {
        const int answer =
            services.alerts.run(moveAlert(where.displayName, needsAuthorisation(files, userTarget(where))));
        if (answer != kMoveForThisUser && answer != kMoveForAllUsers) return Outcome::Stay;
        target = answer == kMoveForThisUser ? userTarget(where) : systemTarget(where);

        if (files.exists(target.destination) && services.running.isRunning(target.destination)) {
            services.running.bringForward(target.destination);
            platform::log().info("Move: a copy runs from " + target.destination.toStdString() + ", brought forward");
            return Outcome::BroughtForward;
        }

        if (needsAuthorisation(files, target)) {
            if (unusable(source) || unusable(target.destination)) return Outcome::Terminate;
            // install(1) makes the folders, replaces an older copy (also a
            // running one: it unlinks first) and sets the mode in one step.
            const PrivilegedRunner::Result result = services.privileged.run(
                {kInstallProgram, QStringLiteral("-D"), QStringLiteral("-m"), QStringLiteral("0755"), source,
                 target.destination});
            if (result == PrivilegedRunner::Result::Cancelled) continue;  // ask again
            if (result == PrivilegedRunner::Result::Failed) {
                platform::log().error("Move: the privileged copy failed");
                return Outcome::Terminate;
            }
            break;
        }

        // An older copy goes to the trash when it can; the copy below replaces
        // it in one step either way.
        if (files.exists(target.destination) && !files.moveToTrash(target.destination))
            platform::log().info("Move: could not trash the older copy; replacing it");
        if (!files.makeFolder(target.folder) || !files.copyExecutable(source, target.destination)) {
            platform::log().error("Move: could not copy the program to " + target.destination.toStdString());
            return Outcome::Stay;
        }
        break;
    }

    installDesktopFiles(where, files, target.destination);
    // A login entry still naming the copy about to be deleted would start nothing.
    LaunchAtLogin::followProgram(target.destination);

    // The new copy is started first and waits for this process to end; only
    // once it is on its way is the copy we run from deleted.
    if (!services.launcher.spawn(
            {target.destination, QStringLiteral("--wait-for-pid"), QString::number(where.pid)})) {
        platform::log().error("Move: could not start " + target.destination.toStdString());
        return Outcome::Stay;
    }
    if (!files.remove(source)) platform::log().info("Move: could not delete " + source.toStdString());
    platform::log().info("Move: relaunching from " + target.destination.toStdString());
    return Outcome::Relaunch;
}

// ---- the real system ----------------------------------------------------------

namespace {

std::vector<std::string> toStrings(const QStringList& argv) {
    std::vector<std::string> strings;
    for (const QString& arg : argv) strings.push_back(QFile::encodeName(arg).toStdString());
    return strings;
}

// posix_spawn with an argument vector; nothing passes through a shell.
pid_t spawnProgram(const QStringList& argv, bool ownSession) {
    if (argv.isEmpty()) return -1;
    std::vector<std::string> strings = toStrings(argv);
    std::vector<char*> pointers;
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    // The child starts with no signals blocked and every handler at its
    // default, whatever this process set up.
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (ownSession) flags = static_cast<short>(flags | POSIX_SPAWN_SETSID);
    posix_spawnattr_setflags(&attributes, flags);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, pointers[0], nullptr, &attributes, pointers.data(), environ);
    posix_spawnattr_destroy(&attributes);
    return error == 0 ? pid : -1;
}

class SystemFiles final : public Files {
public:
    bool exists(const QString& path) const override { return QFileInfo::exists(path); }
    bool isWritable(const QString& path) const override { return ::access(QFile::encodeName(path).constData(), W_OK) == 0; }
    bool makeFolder(const QString& path) override { return QDir().mkpath(path); }

    bool copyExecutable(const QString& from, const QString& to) override {
        QFile in(from);
        if (!in.open(QIODevice::ReadOnly)) return false;
        QSaveFile out(to);
        if (!out.open(QIODevice::WriteOnly)) return false;
        char buffer[1 << 16];
        for (;;) {
            const qint64 n = in.read(buffer, sizeof buffer);
            if (n < 0) return false;
            if (n == 0) break;
            if (out.write(buffer, n) != n) return false;
        }
        return ::fchmod(out.handle(), 0755) == 0 && out.commit();
    }

    bool writeFile(const QString& path, const QByteArray& bytes) override {
        QSaveFile out(path);
        if (!out.open(QIODevice::WriteOnly)) return false;
        return out.write(bytes) == bytes.size() && ::fchmod(out.handle(), 0644) == 0 && out.commit();
    }

    bool remove(const QString& path) override { return QFile::remove(path); }
    bool moveToTrash(const QString& path) override {
        // Qt makes the Trash folder but not the data folder it lives in, which
        // a fresh account may not have yet.
        QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
        return QFile::moveToTrash(path);
    }
};

class PkexecRunner final : public PrivilegedRunner {
public:
    Result run(const QStringList& argv) override {
        QStringList full{QStringLiteral("/usr/bin/pkexec")};
        full += argv;
        const pid_t pid = spawnProgram(full, false);
        if (pid < 0) return Result::Failed;
        int status = 0;
        while (waitpid(pid, &status, 0) < 0) {
            if (errno != EINTR) return Result::Failed;
        }
        if (!WIFEXITED(status)) return Result::Failed;
        // pkexec answers 126 when the user dismissed the authentication dialog.
        if (WEXITSTATUS(status) == 126) return Result::Cancelled;
        return WEXITSTATUS(status) == 0 ? Result::Done : Result::Failed;
    }
};

class ProcessLauncher final : public Launcher {
public:
    bool spawn(const QStringList& argv) override { return spawnProgram(argv, true) > 0; }
};

class ProcRunningCopies final : public RunningCopies {
public:
    bool isRunning(const QString& executable) const override {
        const QString wanted = QFileInfo(executable).canonicalFilePath();
        if (wanted.isEmpty()) return false;
        const QString self = QString::number(QCoreApplication::applicationPid());
        const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& entry : entries) {
            bool numeric = false;
            entry.toLongLong(&numeric);
            if (!numeric || entry == self) continue;
            // Only our own processes can be read here, which are the ones that matter.
            if (QFileInfo(QStringLiteral("/proc/") + entry + QStringLiteral("/exe")).symLinkTarget() == wanted)
                return true;
        }
        return false;
    }

    void bringForward(const QString& executable) override {
        SingleInstance client(SingleInstance::defaultSocketName(), SingleInstance::currentProcess());
        const auto peer = client.findRunningInstance();
        if (peer && peer->executablePath == QFileInfo(executable).canonicalFilePath())
            client.send(SingleInstance::Request::Reopen, SingleInstance::launchActivationToken());
    }
};

}  // namespace

std::unique_ptr<Files> systemFiles() { return std::make_unique<SystemFiles>(); }
std::unique_ptr<PrivilegedRunner> pkexecRunner() { return std::make_unique<PkexecRunner>(); }
std::unique_ptr<Launcher> processLauncher() { return std::make_unique<ProcessLauncher>(); }
std::unique_ptr<RunningCopies> runningCopies() { return std::make_unique<ProcRunningCopies>(); }

Outcome moveToApplicationsFolderIfNecessary() {
    if (!qEnvironmentVariableIsEmpty("GLIDEMARK_NO_MOVE")) return Outcome::Stay;
    Locations where;
    where.executable = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    where.home = QDir::homePath();
    where.dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    // /usr covers /usr/local; the build tree is where a developer runs it.
    where.prefixes = {QStringLiteral("/usr"), QStringLiteral("/opt"), QStringLiteral("/snap"),
                      QStringLiteral("/nix/store"), where.home + QStringLiteral("/.local"),
                      QStringLiteral(GLIDEMARK_INSTALL_PREFIX), QStringLiteral(GLIDEMARK_BUILD_DIR)};
    // The executable's path has its links resolved; so must the prefixes be
    // (a home folder reached through a link, say), or an installed copy would
    // be offered again at every launch.
    for (const QString& prefix : QStringList(where.prefixes)) {
        const QString canonical = QFileInfo(prefix).canonicalFilePath();
        if (!canonical.isEmpty() && canonical != prefix) where.prefixes.push_back(canonical);
    }
    where.systemPrefix = QStringLiteral("/usr/local");
    where.pid = QCoreApplication::applicationPid();
    where.displayName = QGuiApplication::applicationDisplayName();

    auto files = systemFiles();
    auto privileged = pkexecRunner();
    auto launcher = processLauncher();
    auto running = runningCopies();
    Services services{*files, *privileged, *launcher, *running, Utils::alerts()};
    return moveToApplicationsFolderIfNecessary(where, services);
}

bool waitForProcessToEnd(qint64 pid, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const pid_t target = static_cast<pid_t>(pid);
#ifdef SYS_pidfd_open
    // A pidfd becomes readable when the process ends, zombie or not.
    const long fd = syscall(SYS_pidfd_open, target, 0);
    if (fd >= 0) {
        pollfd entry{static_cast<int>(fd), POLLIN, 0};
        int ready = 0;
        do {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            ready = poll(&entry, 1, static_cast<int>(std::max<long long>(left, 0)));
        } while (ready < 0 && errno == EINTR);
        close(static_cast<int>(fd));
        return ready > 0;
    }
    if (errno == ESRCH) return true;
#endif
    // Older kernels: poll the process table every 100 ms.
    for (;;) {
        if (kill(target, 0) != 0 && errno == ESRCH) return true;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (stat.open(QIODevice::ReadOnly)) {
            const QByteArray line = stat.readAll();
            // The state follows the command name, which is in parentheses and may hold anything.
            const qsizetype paren = line.lastIndexOf(')');
            if (paren >= 0 && line.size() > paren + 2 && line.at(paren + 2) == 'Z') return true;
        }
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

}  // namespace gm::app::AppMover
