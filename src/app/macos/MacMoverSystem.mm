#include "app/macos/MacMoverSystem.h"

#import <AppKit/AppKit.h>
#include <signal.h>
#include <spawn.h>
#include <sys/event.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

extern char** environ;

namespace gm::app::macos {

namespace {

std::string toString(NSString* text) {
    const char* utf8 = text.fileSystemRepresentation;
    return utf8 ? std::string(utf8) : std::string();
}

NSString* toPath(const std::string& path) {
    return [[NSFileManager defaultManager] stringWithFileSystemRepresentation:path.c_str() length:path.size()];
}

NSURL* toURL(const std::string& path) {
    NSString* p = toPath(path);
    return p ? [NSURL fileURLWithPath:p] : nil;
}

// posix_spawn with an argument vector: nothing passes through a shell.
// `errors` receives the child's standard error when given.
pid_t start(const std::vector<std::string>& command, int* errors) {
    if (command.empty()) return -1;
    std::vector<std::string> strings = command;
    std::vector<char*> argv;
    for (std::string& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (errors) {
        if (pipe(pipeFds) != 0) {
            posix_spawn_file_actions_destroy(&actions);
            return -1;
        }
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    }
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (errors) {
        close(pipeFds[1]);
        if (error != 0) close(pipeFds[0]);
        else *errors = pipeFds[0];
    }
    return error == 0 ? pid : -1;
}

int waitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string MacMoverSystem::bundlePath() const {
    @autoreleasepool {
        return toString([NSBundle mainBundle].bundlePath);
    }
}

std::vector<std::string> MacMoverSystem::applicationsFolders() const {
    @autoreleasepool {
        std::vector<std::string> folders;
        for (NSString* folder in NSSearchPathForDirectoriesInDomains(NSApplicationDirectory, NSAllDomainsMask, YES))
            folders.push_back(toString(folder));
        return folders;
    }
}

std::vector<std::string> MacMoverSystem::destinationCandidates() const {
    @autoreleasepool {
        std::vector<std::string> folders;
        for (NSURL* url in [[NSFileManager defaultManager] URLsForDirectory:NSApplicationDirectory
                                                                  inDomains:NSAllDomainsMask])
            folders.push_back(toString(url.URLByResolvingSymlinksInPath.path));
        return folders;
    }
}

bool MacMoverSystem::isFolder(const std::string& path) const {
    BOOL folder = NO;
    return [[NSFileManager defaultManager] fileExistsAtPath:toPath(path) isDirectory:&folder] && folder;
}

std::size_t MacMoverSystem::entryCount(const std::string& folder) const {
    @autoreleasepool {
        return [[NSFileManager defaultManager] contentsOfDirectoryAtPath:toPath(folder) error:nil].count;
    }
}

bool MacMoverSystem::exists(const std::string& path) const {
    return [[NSFileManager defaultManager] fileExistsAtPath:toPath(path)];
}

bool MacMoverSystem::isWritable(const std::string& path) const {
    return [[NSFileManager defaultManager] isWritableFileAtPath:toPath(path)];
}

std::string MacMoverSystem::displayName() const {
    @autoreleasepool {
        NSString* name = [NSRunningApplication currentApplication].localizedName;
        return name.UTF8String ? std::string(name.UTF8String) : std::string();
    }
}

std::int64_t MacMoverSystem::processID() const { return [NSProcessInfo processInfo].processIdentifier; }

void MacMoverSystem::activate() {
    if (![NSRunningApplication currentApplication].active) [NSApp activateIgnoringOtherApps:YES];
}

MoverSystem::CopyResult MacMoverSystem::run(const std::vector<std::string>& command) {
    int errors = -1;
    const pid_t pid = start(command, &errors);
    if (pid < 0) return CopyResult::Failed;
    std::string text;
    char buffer[512];
    for (;;) {
        const ssize_t n = read(errors, buffer, sizeof buffer);
        if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR) break;
    }
    close(errors);
    const int status = waitFor(pid);
    if (status == 0) return CopyResult::Done;
    // AppleScript's "User canceled." is error -128.
    return text.find("(-128)") != std::string::npos ? CopyResult::Cancelled : CopyResult::Failed;
}

bool MacMoverSystem::spawn(const std::vector<std::string>& command) {
    const pid_t pid = start(command, nullptr);
    if (pid < 0) return false;
    // The shell puts its loop in the background and returns at once.
    return waitFor(pid) == 0;
}

bool MacMoverSystem::isRunningFrom(const std::string& bundle) const {
    @autoreleasepool {
        NSURL* wanted = toURL(bundle).URLByStandardizingPath;
        for (NSRunningApplication* app in [NSWorkspace sharedWorkspace].runningApplications)
            if ([app.bundleURL.URLByStandardizingPath isEqual:wanted]) return true;
        return false;
    }
}

void MacMoverSystem::open(const std::string& bundle) {
    @autoreleasepool {
        if (NSURL* url = toURL(bundle)) [[NSWorkspace sharedWorkspace] openURL:url];
    }
}

bool MacMoverSystem::moveToTrash(const std::string& path) {
    @autoreleasepool {
        NSURL* url = toURL(path);
        return url && [[NSFileManager defaultManager] trashItemAtURL:url resultingItemURL:nil error:nil];
    }
}

bool MacMoverSystem::copy(const std::string& from, const std::string& to) {
    @autoreleasepool {
        NSURL* source = toURL(from);
        NSURL* destination = toURL(to);
        return source && destination && [[NSFileManager defaultManager] copyItemAtURL:source toURL:destination error:nil];
    }
}

bool MacMoverSystem::remove(const std::string& path) {
    @autoreleasepool {
        NSURL* url = toURL(path);
        return url && [[NSFileManager defaultManager] removeItemAtURL:url error:nil];
    }
}

bool waitForProcessToEnd(std::int64_t pid, int timeoutMs) {
    if (pid <= 0 || pid > INT32_MAX) return true;
    const int queue = kqueue();
    if (queue < 0) return false;
    struct kevent watch;
    EV_SET(&watch, static_cast<uintptr_t>(pid), EVFILT_PROC, EV_ADD | EV_ONESHOT, NOTE_EXIT, 0, nullptr);
    if (kevent(queue, &watch, 1, nullptr, 0, nullptr) < 0) {
        const bool gone = errno == ESRCH;
        close(queue);
        return gone;
    }
    const timespec timeout{timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1000000L};
    struct kevent event;
    int ready = 0;
    do {
        ready = kevent(queue, nullptr, 0, &event, 1, &timeout);
    } while (ready < 0 && errno == EINTR);
    close(queue);
    return ready > 0;
}

}  // namespace gm::app::macos
