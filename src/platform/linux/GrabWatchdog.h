#pragma once
// A frozen pointer is the worst thing this program can do to a user: while it
// holds a mouse grabbed and stops reading it (stopped with SIGSTOP, hung,
// stuck under a debugger), nothing moves on the desktop. No thread of ours can
// notice that, since a stopped process stops all of them, so a small keeper
// process (glidemark-watchdog) holds duplicates of the grabbed mice and their
// twins. When a mouse has input waiting and the forwarding thread has shown no
// sign of life for a second, the keeper lets go of every grab, releases
// any button held on the twins, and says which mice it handed back; the
// forwarding thread takes them over again when it runs once more.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace gm::platform::linux_input {

class GrabWatchdog {
public:
    // Starts the keeper; null (and one log line) when it cannot be found or started.
    static std::unique_ptr<GrabWatchdog> start();
    // The keeper lets go of everything it holds and ends.
    ~GrabWatchdog();
    GrabWatchdog(const GrabWatchdog&) = delete;
    GrabWatchdog& operator=(const GrabWatchdog&) = delete;

    // Readable when the keeper has handed mice back (or has ended).
    int pollFd() const { return socket_; }
    // Watches a grabbed mouse (its evdev descriptor) and its twin (uinput; -1 for none).
    void watch(std::uint32_t id, int sourceFd, int twinFd);
    void unwatch(std::uint32_t id);
    // The mice handed back since the last call. False once the keeper is gone.
    bool receive(std::vector<std::uint32_t>& handedBack);
    // Proof of life from the forwarding thread, after each time it has read.
    void alive() { heartbeat_->fetch_add(1, std::memory_order_relaxed); }

private:
    GrabWatchdog(int socket, int pid, std::atomic<std::uint64_t>* heartbeat);

    int socket_ = -1;
    int pid_ = -1;
    std::atomic<std::uint64_t>* heartbeat_ = nullptr;  // in memory shared with the keeper
};

// What travels between the program and its keeper, one message per datagram.
struct WatchdogMessage {
    enum Op : std::uint32_t { Watch = 1, Unwatch = 2, HandedBack = 3 };
    std::uint32_t op = 0;
    std::uint32_t id = 0;
};
// The keeper's descriptors: the control socket and the heartbeat page.
inline constexpr int kWatchdogSocketFd = 3;
inline constexpr int kWatchdogHeartbeatFd = 4;
// How long input may wait unread, with no sign of life, before the keeper steps in.
// Long enough that a merely slow machine is not taken for a hung program.
inline constexpr int kWatchdogStallMs = 1000;

}  // namespace gm::platform::linux_input
