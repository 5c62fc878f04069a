// glidemark-watchdog: hands the mice back to the desktop when Glidemark stops
// answering. Started by Glidemark with its control socket on descriptor 3 and
// the heartbeat page on 4; ends (letting go of everything) when that socket
// closes, which is also what happens when Glidemark dies.
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/linux/GrabWatchdog.h"

namespace {
using gm::platform::linux_input::kWatchdogHeartbeatFd;
using gm::platform::linux_input::kWatchdogSocketFd;
using gm::platform::linux_input::kWatchdogStallMs;
using gm::platform::linux_input::WatchdogMessage;

struct Mouse {
    std::uint32_t id;
    int source;
    int twin;
};

std::vector<Mouse> mice;

void forget(std::size_t i) {
    ::close(mice[i].source);
    if (mice[i].twin >= 0) ::close(mice[i].twin);
    mice.erase(mice.begin() + static_cast<std::ptrdiff_t>(i));
}

// Lets go of every mouse: the desktop reads them directly again, and nothing
// Glidemark forwarded stays pressed on a twin.
void handBackAll(bool tell) {
    while (!mice.empty()) {
        Mouse& m = mice.back();
        ::ioctl(m.source, EVIOCGRAB, 0);
        if (m.twin >= 0) {
            std::vector<input_event> release;
            for (std::uint16_t code = BTN_MOUSE; code < BTN_JOYSTICK; ++code) release.push_back({{}, EV_KEY, code, 0});
            release.push_back({{}, EV_SYN, SYN_REPORT, 0});
            [[maybe_unused]] auto n = ::write(m.twin, release.data(), release.size() * sizeof(input_event));
        }
        if (tell) {
            const WatchdogMessage message{WatchdogMessage::HandedBack, m.id};
            ::send(kWatchdogSocketFd, &message, sizeof message, MSG_DONTWAIT | MSG_NOSIGNAL);
        }
        forget(mice.size() - 1);
    }
}

// Takes what Glidemark sent. False when it has gone.
bool serviceControl() {
    while (true) {
        WatchdogMessage message;
        iovec io{&message, sizeof message};
        alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))];
        msghdr msg{};
        msg.msg_iov = &io;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(kWatchdogSocketFd, &msg, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
        if (n < 0) return errno == EAGAIN || errno == EINTR;
        if (n == 0) return false;
        int fds[2] = {-1, -1};
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
            const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            std::memcpy(fds, CMSG_DATA(c), (count < 2 ? count : 2) * sizeof(int));
        }
        if (message.op == WatchdogMessage::Watch && fds[0] >= 0) {
            mice.push_back({message.id, fds[0], fds[1]});
        } else {
            for (int fd : fds)
                if (fd >= 0) ::close(fd);
            for (std::size_t i = 0; i < mice.size(); ++i)
                if (mice[i].id == message.id) forget(i--);
        }
    }
}

std::int64_t nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

// Polls the control socket and the mice; returns the index of a waiting mouse, or -1.
int pollOnce(int timeoutMs, bool& controlGone) {
    std::vector<pollfd> fds{{kWatchdogSocketFd, POLLIN, 0}};
    for (const Mouse& m : mice) fds.push_back({m.source, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), timeoutMs) < 0) return -1;
    if (fds[0].revents) controlGone = !serviceControl();
    for (std::size_t i = 1; i < fds.size() && i - 1 < mice.size(); ++i) {
        if (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            forget(i - 1);  // unplugged: nothing left to hand back
            return -1;
        }
        if (fds[i].revents & POLLIN) return static_cast<int>(i - 1);
    }
    return -1;
}

}  // namespace

int main() {
    void* page = ::mmap(nullptr, sizeof(std::uint64_t), PROT_READ, MAP_SHARED, kWatchdogHeartbeatFd, 0);
    if (page == MAP_FAILED) return 1;
    const auto* heartbeat = static_cast<const std::atomic<std::uint64_t>*>(page);
    bool controlGone = false;
    while (!controlGone) {
        if (pollOnce(-1, controlGone) < 0) continue;
        // Input is waiting. Glidemark reads it within microseconds when it runs;
        // give it a generous while, and look again.
        const std::uint64_t before = heartbeat->load(std::memory_order_relaxed);
        const std::int64_t until = nowMs() + kWatchdogStallMs;
        while (!controlGone && nowMs() < until) {
            std::vector<pollfd> control{{kWatchdogSocketFd, POLLIN, 0}};
            if (::poll(control.data(), 1, static_cast<int>(until - nowMs())) > 0) controlGone = !serviceControl();
        }
        if (controlGone || heartbeat->load(std::memory_order_relaxed) != before) continue;
        bool stillWaiting = false;
        for (const Mouse& m : mice) {
            pollfd p{m.source, POLLIN, 0};
            stillWaiting = stillWaiting || (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN));
        }
        if (stillWaiting) handBackAll(true);
    }
    handBackAll(false);
    return 0;
}
