#pragma once
// Fake wheel mice for the hub: a mouse is a SOCK_SEQPACKET socket pair the
// test writes struct input_event frames into; its clone is another pair whose
// every write() arrives as one record, so the tests see frame boundaries
// exactly as the hub wrote them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/linux/InputDevices.h"
#include "platform/linux/WheelCodec.h"

namespace gm::test {

using namespace gm::platform::linux_input;
using Frame = std::vector<input_event>;
using platform::EventRef;

inline input_event ev(std::uint16_t type, std::uint16_t code, std::int32_t value) { return makeEvent(type, code, value); }
inline input_event syn() { return ev(EV_SYN, SYN_REPORT, 0); }
// A frame as (code, value) pairs, for compact comparisons.
using Codes = std::vector<std::pair<std::uint16_t, std::int32_t>>;

// What the test holds of one fake mouse; outlives the hub's source and clone.
struct FakeMouse {
    std::string id;
    int feedFd = -1;         // test writes here
    int sourceFd = -1;       // the source reads here
    int cloneReadFd = -1;    // test reads the clone's frames here
    int cloneWriteFd = -1;   // the clone writes here
    std::atomic<bool> keysDown{false};
    std::atomic<bool> grabbed{false};
    std::atomic<bool> heldElsewhere{false};  // another program has grabbed it
    std::atomic<int> opens{0};
    std::atomic<int> liveClones{0};

    explicit FakeMouse(std::string name) : id(std::move(name)) { replug(); }
    ~FakeMouse() { closeAll(); }
    void closeAll() {
        for (int* fd : {&feedFd, &sourceFd, &cloneReadFd, &cloneWriteFd})
            if (*fd >= 0) ::close(std::exchange(*fd, -1));
    }
    // Fresh descriptors, as a mouse plugged in again.
    void replug() {
        closeAll();
        int feed[2], clone[2];
        socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, feed);
        socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, clone);
        feedFd = feed[0];
        sourceFd = feed[1];
        cloneReadFd = clone[0];
        cloneWriteFd = clone[1];
        fcntl(cloneReadFd, F_SETFL, O_NONBLOCK);
        fcntl(sourceFd, F_SETFL, O_NONBLOCK);
        int big = 1 << 20;
        setsockopt(cloneWriteFd, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
        setsockopt(cloneReadFd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    }
    void send(const Frame& frame) const {
        [[maybe_unused]] auto n = ::write(feedFd, frame.data(), frame.size() * sizeof(input_event));
    }
    // Unplugging: the source reads end-of-file, as a vanished evdev node reads ENODEV.
    void unplug() { ::close(std::exchange(feedFd, -1)); }
    // Every frame the clone received since the last call, one record per write().
    std::vector<Frame> cloneFrames() const {
        std::vector<Frame> out;
        input_event buf[256];
        for (ssize_t n; (n = ::read(cloneReadFd, buf, sizeof buf)) > 0;)
            out.emplace_back(buf, buf + static_cast<std::size_t>(n) / sizeof(input_event));
        return out;
    }
    // The same, each frame as (code, value) pairs.
    std::vector<Codes> cloneCodes() const {
        std::vector<Codes> out;
        for (const Frame& frame : cloneFrames())
            for (auto& pairs = out.emplace_back(); const auto& e : frame) pairs.emplace_back(e.code, e.value);
        return out;
    }
};

// Reads a mouse's clone all along on a thread of its own, so its socket never
// fills up; stop() returns every frame read.
class CloneReader {
public:
    explicit CloneReader(const FakeMouse& mouse)
        : thread_([this, &mouse] {
              for (bool more = true; more;) {
                  pollfd p{mouse.cloneReadFd, POLLIN, 0};
                  poll(&p, 1, 20);
                  auto got = mouse.cloneFrames();
                  frames_.insert(frames_.end(), got.begin(), got.end());
                  more = !got.empty() || reading_.load();
              }
          }) {}
    ~CloneReader() { stop(); }
    std::vector<Frame> stop() {
        reading_ = false;
        if (thread_.joinable()) thread_.join();
        return frames_;
    }

private:
    std::vector<Frame> frames_;
    std::atomic<bool> reading_{true};
    std::thread thread_;
};

class FakeSource final : public InputSource {
public:
    explicit FakeSource(FakeMouse& mouse) : mouse_(mouse), fd_(::dup(mouse.sourceFd)) {}
    ~FakeSource() override { ::close(fd_); }
    int pollFd() const override { return fd_; }
    ReadStatus read(std::vector<input_event>& out) override {
        input_event buf[256];
        while (true) {
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n == 0) return ReadStatus::Gone;
            if (n < 0) return ReadStatus::Ok;
            out.insert(out.end(), buf, buf + static_cast<std::size_t>(n) / sizeof(input_event));
        }
    }
    bool grab(bool on) override {
        if (on && mouse_.heldElsewhere.load()) return false;
        mouse_.grabbed.store(on);
        return true;
    }
    bool anyKeyDown() override { return mouse_.keysDown.load(); }
    std::string name() const override { return mouse_.id; }

private:
    FakeMouse& mouse_;
    int fd_;
};

class FakeSink final : public OutputSink {
public:
    explicit FakeSink(FakeMouse& mouse) : mouse_(mouse), fd_(::dup(mouse.cloneWriteFd)) { ++mouse_.liveClones; }
    ~FakeSink() override { ::close(fd_); --mouse_.liveClones; }
    bool writeFrame(std::span<const input_event> frame) override {
        return ::write(fd_, frame.data(), frame.size_bytes()) == static_cast<ssize_t>(frame.size_bytes());
    }

private:
    FakeMouse& mouse_;
    int fd_;
};

// The one fake mouse, as the system's devices and their hot-plug events.
class FakeBackend final : public DeviceBackend {
public:
    explicit FakeBackend(FakeMouse& mouse) : mouse_(mouse) {}
    std::atomic<bool> access{true};
    std::unique_ptr<InputSource> open(const DeviceInfo& info) override {
        if (info.id != mouse_.id) return nullptr;
        ++mouse_.opens;
        return std::make_unique<FakeSource>(mouse_);
    }
    std::unique_ptr<OutputSink> createClone(InputSource&) override { return std::make_unique<FakeSink>(mouse_); }
    bool accessible() const override { return access.load(); }

private:
    FakeMouse& mouse_;
};

class FakeMonitor final : public DeviceMonitor {
public:
    explicit FakeMonitor(std::string id) : id_(std::move(id)), fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~FakeMonitor() override { ::close(fd_); }
    void plug(bool in) {
        {
            std::lock_guard lock(mutex_);
            pending_.push_back({in, info()});
        }
        std::uint64_t one = 1;
        [[maybe_unused]] auto w = ::write(fd_, &one, sizeof one);
    }

    int pollFd() const override { return fd_; }
    void receive(std::vector<Change>& out) override {
        std::uint64_t n = 0;
        [[maybe_unused]] auto r = ::read(fd_, &n, sizeof n);
        std::lock_guard lock(mutex_);
        out.insert(out.end(), pending_.begin(), pending_.end());
        pending_.clear();
    }
    std::vector<DeviceInfo> enumerate() override { return {info()}; }

private:
    DeviceInfo info() const { return DeviceInfo{id_, "/dev/input/fake-" + id_, id_}; }
    std::string id_;
    int fd_;
    std::mutex mutex_;
    std::vector<Change> pending_;
};

// Every write one whole frame; motion (REL_X rising, as sent) in order and alone
// in its write. Returns how many frames begin with each code.
inline std::map<std::uint16_t, int> checkFrames(const std::vector<Frame>& frames) {
    std::map<std::uint16_t, int> count;
    int lastX = 0;
    for (const Frame& f : frames) {
        EXPECT_TRUE(!f.empty() && f.back().type == EV_SYN && f.back().code == SYN_REPORT) << "one whole frame a write";
        if (f.empty()) continue;
        if (f.front().code == REL_X) {
            EXPECT_EQ(f.size(), 3u) << "a motion frame shares its write with nothing";
            EXPECT_GT(f.front().value, lastX) << "motion stays in order";
            lastX = f.front().value;
        }
        ++count[f.front().code];
    }
    return count;
}

}  // namespace gm::test
