#pragma once
// Moving the program into an installation. A program started from a download
// folder or an unpacked archive offers, once per launch, to install itself:
// for this user (~/.local/bin, with a desktop entry and icon under the user's
// data folder), or for all users (/usr/local/bin, through the system's
// authentication prompt). It then points an enabled launch-at-login entry at
// the new copy, deletes the copy it was started from and restarts from the new
// place once this process has ended.
//
// Nothing here ever builds shell text from a path: copies, the privileged
// install and the relaunch each take their paths as separate arguments, and
// the new copy waits for this process by its id (`--wait-for-pid PID`).
//
// Every interaction with the system goes through the small interfaces below,
// so that tests run the whole procedure in temporary folders with fakes.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

#include "app/Alerts.h"

namespace gm::app::AppMover {

class Files {
public:
    virtual ~Files() = default;
    virtual bool exists(const QString& path) const = 0;
    // Whether this process may change the file or, for a folder, add entries to it.
    virtual bool isWritable(const QString& path) const = 0;
    virtual bool makeFolder(const QString& path) = 0;
    // Puts a copy of `from` at `to` (executable), replacing whatever is there
    // in one step: `to` is either the old file or the complete new one.
    virtual bool copyExecutable(const QString& from, const QString& to) = 0;
    // Writes `bytes` to `path` (mode 0644), replacing it in one step.
    virtual bool writeFile(const QString& path, const QByteArray& bytes) = 0;
    virtual bool remove(const QString& path) = 0;
    // Into the user's trash ($XDG_DATA_HOME/Trash, with its .trashinfo).
    virtual bool moveToTrash(const QString& path) = 0;
};

// Runs one program as the administrator after the system's authentication prompt.
class PrivilegedRunner {
public:
    enum class Result { Done, Cancelled, Failed };
    virtual ~PrivilegedRunner() = default;
    // argv[0] is the program's absolute path.
    virtual Result run(const QStringList& argv) = 0;
};

// Starts a program detached from this process (its own session).
class Launcher {
public:
    virtual ~Launcher() = default;
    // argv[0] is the program's absolute path. False when it could not be started.
    virtual bool spawn(const QStringList& argv) = 0;
};

class RunningCopies {
public:
    virtual ~RunningCopies() = default;
    // Whether another process runs the program at `executable`.
    virtual bool isRunning(const QString& executable) const = 0;
    // Asks the copy running from `executable` to come forward (a re-open).
    virtual void bringForward(const QString& executable) = 0;
};

struct Services {
    Files& files;
    PrivilegedRunner& privileged;
    Launcher& launcher;
    RunningCopies& running;
    AlertPresenter& alerts;
};

// Where the program runs and where it may go.
struct Locations {
    QString executable;       // the running program, symbolic links resolved
    QString home;             // the user's home folder
    QString dataHome;         // $XDG_DATA_HOME, or ~/.local/share
    QStringList prefixes;     // installation prefixes: a program under one of them is in place
    QString systemPrefix;     // where "for all users" installs: /usr/local
    qint64 pid = 0;           // this process
    QString displayName;      // the program's name in the alert
};

enum class Outcome {
    Stay,            // start-up goes on from where the program is
    BroughtForward,  // a copy already runs from the installation and was asked to come forward
    Relaunch,        // the new copy was started and waits for this process to end: end it now
    Terminate,       // the privileged install failed or the paths were unusable: end the program
};

// Answers of the alert, by button index.
inline constexpr int kMoveForThisUser = 0;
inline constexpr int kMoveForAllUsers = 1;
inline constexpr int kDoNotMove = 2;

Alert moveAlert(const QString& displayName, bool needsAuthorisation);

bool isInPlace(const Locations& where);

// The desktop entry of an installed copy at `executable`: data/glidemark.desktop
// with Exec naming that file, quoted as desktop entries require.
QByteArray desktopEntry(const QString& executable);
// `path` as one argument of a desktop entry's Exec key, as written in the file.
QString desktopExecArgument(const QString& path);

// The procedure, on the given services.
Outcome moveToApplicationsFolderIfNecessary(const Locations& where, Services& services);

// The procedure for this process, on the real system and the shared alert
// presenter. Does nothing when GLIDEMARK_NO_MOVE is set, or for the program
// in the build tree it was built in.
Outcome moveToApplicationsFolderIfNecessary();

// The real services.
std::unique_ptr<Files> systemFiles();
std::unique_ptr<PrivilegedRunner> pkexecRunner();
std::unique_ptr<Launcher> processLauncher();
std::unique_ptr<RunningCopies> runningCopies();

// The relaunched copy's side: blocks until process `pid` has ended (a zombie
// counts as ended) or `timeoutMs` has passed. True when it has ended.
bool waitForProcessToEnd(qint64 pid, int timeoutMs);

}  // namespace gm::app::AppMover
