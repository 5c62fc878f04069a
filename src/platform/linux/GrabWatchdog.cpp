#include "platform/linux/GrabWatchdog.h"

#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>

#include "platform/Log.h"

extern char** environ;

namespace gm::platform::linux_input {

namespace {
namespace fs = std::filesystem;

// Beside the program (../libexec/glidemark), else the configured prefix, else the build tree.
std::string keeperProgram() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    for (const fs::path& candidate :
         {error ? fs::path() : self.parent_path().parent_path() / "libexec/glidemark/glidemark-watchdog",
          fs::path(GLIDEMARK_LIBEXEC_DIR) / "glidemark-watchdog", fs::path(GLIDEMARK_BUILD_WATCHDOG)}) {
        if (!candidate.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return {};
}

void send(int socket, WatchdogMessage message, const int* fds, int count) {
    iovec io{&message, sizeof message};
    msghdr msg{};
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))] = {};
    if (count > 0) {
        msg.msg_control = control;
        msg.msg_controllen = CMSG_SPACE(static_cast<unsigned>(count) * sizeof(int));
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(static_cast<unsigned>(count) * sizeof(int));
        std::memcpy(CMSG_DATA(c), fds, static_cast<std::size_t>(count) * sizeof(int));
    }
    // A full socket buffer would mean a keeper that stopped reading: not worth waiting for.
    [[maybe_unused]] auto n = ::sendmsg(socket, &msg, MSG_DONTWAIT | MSG_NOSIGNAL);
}
}  // namespace

std::unique_ptr<GrabWatchdog> GrabWatchdog::start() {
    const std::string program = keeperProgram();
    if (program.empty()) {
        log().error("glidemark-watchdog not found: if Glidemark stops answering, the mouse stays with it until it ends");
        return nullptr;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return nullptr;
    const int page = ::memfd_create("glidemark-heartbeat", MFD_CLOEXEC);
    void* shared = MAP_FAILED;
    if (page >= 0 && ::ftruncate(page, sizeof(std::uint64_t)) == 0)
        shared = ::mmap(nullptr, sizeof(std::uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, page, 0);
    pid_t pid = -1;
    if (shared != MAP_FAILED) {
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_adddup2(&files, pair[1], kWatchdogSocketFd);
        posix_spawn_file_actions_adddup2(&files, page, kWatchdogHeartbeatFd);
        std::string arg0 = program;
        char* argv[] = {arg0.data(), nullptr};
        if (posix_spawn(&pid, program.c_str(), &files, nullptr, argv, environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&files);
    }
    ::close(pair[1]);
    if (page >= 0) ::close(page);
    if (pid < 0) {
        log().error("cannot start glidemark-watchdog: if Glidemark stops answering, the mouse stays with it");
        if (shared != MAP_FAILED) ::munmap(shared, sizeof(std::uint64_t));
        ::close(pair[0]);
        return nullptr;
    }
    return std::unique_ptr<GrabWatchdog>(new GrabWatchdog(pair[0], pid, new (shared) std::atomic<std::uint64_t>(0)));
}

GrabWatchdog::GrabWatchdog(int socket, int pid, std::atomic<std::uint64_t>* heartbeat)
    : socket_(socket), pid_(pid), heartbeat_(heartbeat) {}

GrabWatchdog::~GrabWatchdog() {
    ::close(socket_);  // the keeper sees the end of its socket, lets go and ends
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    ::munmap(heartbeat_, sizeof(std::uint64_t));
}

void GrabWatchdog::watch(std::uint32_t id, int sourceFd, int twinFd) {
    const int fds[2] = {sourceFd, twinFd};
    send(socket_, {WatchdogMessage::Watch, id}, fds, twinFd >= 0 ? 2 : 1);
}

void GrabWatchdog::unwatch(std::uint32_t id) { send(socket_, {WatchdogMessage::Unwatch, id}, nullptr, 0); }

bool GrabWatchdog::receive(std::vector<std::uint32_t>& handedBack) {
    while (true) {
        WatchdogMessage message;
        const ssize_t n = ::recv(socket_, &message, sizeof message, MSG_DONTWAIT);
        if (n == static_cast<ssize_t>(sizeof message)) {
            if (message.op == WatchdogMessage::HandedBack) handedBack.push_back(message.id);
            continue;
        }
        if (n > 0) continue;  // not ours; skip it
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && errno == EAGAIN;  // otherwise the keeper has ended
    }
}

}  // namespace gm::platform::linux_input
