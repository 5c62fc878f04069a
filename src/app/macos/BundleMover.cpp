#include "app/macos/BundleMover.h"

#include <algorithm>

namespace gm::app::macos {

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\n\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\n\r") - first + 1);
}

std::string lastComponent(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

bool isInPlace(const std::string& bundlePath, const std::vector<std::string>& folders) {
    for (std::string folder : folders) {
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        // A whole folder, so "/Applications Old" is not inside "/Applications".
        if (!folder.empty() && bundlePath.size() > folder.size() && bundlePath.compare(0, folder.size(), folder) == 0 &&
            (bundlePath[folder.size()] == '/' || folder == "/"))
            return true;
    }
    std::size_t start = 0;
    while (start <= bundlePath.size()) {
        const auto end = bundlePath.find('/', start);
        const std::size_t stop = end == std::string::npos ? bundlePath.size() : end;
        if (bundlePath.compare(start, stop - start, "Applications") == 0) return true;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return false;
}

std::string chooseDestinationFolder(std::vector<Candidate> candidates) {
    std::erase_if(candidates, [](const Candidate& c) { return c.path == "/System/Applications"; });
    if (candidates.empty()) return {};
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.entries < b.entries; });
    return candidates.front().path;
}

std::string moveAlertText(const std::string& displayName, bool needsAuthorisation) {
    std::string text = (displayName.empty() ? std::string("The App") : displayName) +
                       " needs to move to your Applications folder in order to work properly.";
    if (needsAuthorisation)
        text += " You need to authenticate with your administrator password to complete this step.";
    return text;
}

std::vector<std::string> privilegedCopyCommand(const std::string& source, const std::string& destination) {
    // The paths reach the shell only through "quoted form of", AppleScript's
    // own quoting for the shell; the script text itself never changes.
    return {"/usr/bin/osascript",
            "-e", "on run argv",
            "-e", "do shell script \"/bin/rm -rf \" & quoted form of (item 2 of argv) & \" && /bin/cp -pR \" & "
                  "quoted form of (item 1 of argv) & \" \" & quoted form of (item 2 of argv) "
                  "with administrator privileges",
            "-e", "end run",
            source, destination};
}

std::vector<std::string> quarantineCommand(const std::string& destination) {
    return {"/usr/bin/xattr", "-d", "-r", "com.apple.quarantine", destination};
}

std::vector<std::string> relaunchCommand(std::int64_t pid, const std::string& destination) {
    // Waits in the background, polling every 0.1 s, until this process has
    // ended, then opens the new copy. $1 and $2 are the arguments after "sh".
    return {"/bin/sh", "-c",
            "(while /bin/kill -0 \"$1\" >/dev/null 2>&1; do /bin/sleep 0.1; done; /usr/bin/open \"$2\") &",
            "sh", std::to_string(pid), destination};
}

MoveOutcome moveToApplicationsFolderIfNecessary(MoverSystem& system) {
    const std::string source = system.bundlePath();
    for (;;) {
        if (isInPlace(source, system.applicationsFolders())) return MoveOutcome::Stay;

        std::vector<Candidate> candidates;
        for (const std::string& folder : system.destinationCandidates())
            if (system.isFolder(folder)) candidates.push_back({folder, system.entryCount(folder)});
        const std::string folder = chooseDestinationFolder(std::move(candidates));
        if (folder.empty()) return MoveOutcome::Stay;
        const std::string destination = folder + "/" + lastComponent(source);
        const bool needsAuthorisation =
            system.exists(destination) ? !system.isWritable(destination) : !system.isWritable(folder);

        system.activate();
        if (!system.confirmMove(moveAlertText(system.displayName(), needsAuthorisation))) return MoveOutcome::Stay;

        if (needsAuthorisation) {
            if (!endsWith(destination, ".app") || trimmed(source).empty() || trimmed(destination).empty())
                return MoveOutcome::Terminate;
            const MoverSystem::CopyResult result = system.run(privilegedCopyCommand(source, destination));
            if (result == MoverSystem::CopyResult::Cancelled) continue;  // the alert again
            if (result == MoverSystem::CopyResult::Failed) return MoveOutcome::Terminate;
        } else {
            if (system.exists(destination)) {
                if (system.isRunningFrom(destination)) {
                    system.open(destination);
                    return MoveOutcome::BroughtForward;
                }
                if (!system.moveToTrash(destination)) return MoveOutcome::Stay;
            }
            if (!system.copy(source, destination)) return MoveOutcome::Stay;
        }

        system.movedTo(destination);
        system.remove(source);  // a failure leaves the old bundle behind; the move goes on
        system.run(quarantineCommand(destination));
        if (!system.spawn(relaunchCommand(system.processID(), destination))) return MoveOutcome::Stay;
        return MoveOutcome::Relaunch;
    }
}

}  // namespace gm::app::macos
