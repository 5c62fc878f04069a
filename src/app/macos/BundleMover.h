#pragma once
// Moving the bundle into an Applications folder. A bundle started from
// anywhere else (a disk image, Downloads) offers, once per launch, to move
// itself: it copies itself there (through the administrator prompt when the
// folder is not writable), deletes the bundle it was started from, clears the
// download quarantine from the copy and relaunches it once this process ends.
//
// No shell text is ever built from a path: the privileged copy hands the paths
// to AppleScript as arguments, which quotes them itself ("quoted form of"), and
// the relaunch's waiting loop is a fixed script that reads the process id and
// the bundle as its own arguments.
//
// The decisions are plain C++ over the System below; the real system is in
// MoverSystem.mm, the alert in the Qt glue.
#include <cstdint>
#include <string>
#include <vector>

namespace gm::app::macos {

class MoverSystem {
public:
    enum class CopyResult { Done, Cancelled, Failed };

    virtual ~MoverSystem() = default;
    virtual std::string bundlePath() const = 0;
    // The Applications folders of every domain, "~" expanded.
    virtual std::vector<std::string> applicationsFolders() const = 0;
    // The same from the file manager, links resolved: where the copy may go.
    virtual std::vector<std::string> destinationCandidates() const = 0;
    virtual bool isFolder(const std::string& path) const = 0;
    // Entries a folder lists; 0 when it cannot be listed.
    virtual std::size_t entryCount(const std::string& folder) const = 0;
    virtual bool exists(const std::string& path) const = 0;
    virtual bool isWritable(const std::string& path) const = 0;
    virtual std::string displayName() const = 0;
    virtual std::int64_t processID() const = 0;
    // Brings this program to the front when it is not.
    virtual void activate() = 0;
    // The alert: true for "Move to Applications Folder".
    virtual bool confirmMove(const std::string& informativeText) = 0;
    // Runs `command` (argv[0] absolute) and waits for it; for the privileged
    // copy, an AppleScript cancel (error -128) answers Cancelled.
    virtual CopyResult run(const std::vector<std::string>& command) = 0;
    // Starts `command` without waiting for it.
    virtual bool spawn(const std::vector<std::string>& command) = 0;
    virtual bool isRunningFrom(const std::string& bundle) const = 0;
    virtual void open(const std::string& bundle) = 0;
    virtual bool moveToTrash(const std::string& path) = 0;
    virtual bool copy(const std::string& from, const std::string& to) = 0;
    virtual bool remove(const std::string& path) = 0;
    // The new copy is in place at `bundle` (a login entry naming the old one follows it).
    virtual void movedTo(const std::string& bundle) = 0;
};

enum class MoveOutcome {
    Stay,            // start-up goes on from where the bundle is
    BroughtForward,  // a copy already runs from the destination and was opened
    Relaunch,        // the new copy starts once this process ends: end it now
    Terminate,       // the privileged copy failed or the paths were unusable
};

// Already in an Applications folder: under one of `folders`, or any folder of
// the path is named "Applications".
bool isInPlace(const std::string& bundlePath, const std::vector<std::string>& folders);

struct Candidate {
    std::string path;
    std::size_t entries = 0;
};
// The candidate with the fewest entries ("/System/Applications" never); the
// first of equals. Empty when there is none.
std::string chooseDestinationFolder(std::vector<Candidate> candidates);

std::string moveAlertText(const std::string& displayName, bool needsAuthorisation);

std::vector<std::string> privilegedCopyCommand(const std::string& source, const std::string& destination);
std::vector<std::string> quarantineCommand(const std::string& destination);
std::vector<std::string> relaunchCommand(std::int64_t pid, const std::string& destination);

MoveOutcome moveToApplicationsFolderIfNecessary(MoverSystem& system);

}  // namespace gm::app::macos
