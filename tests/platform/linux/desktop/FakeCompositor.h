#pragma once
// A compositor's IPC socket for tests: accepts connections on a Unix socket
// and answers each with recorded replies.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace gm::testing {

// Accepts connections on a Unix socket and answers each with `reply(request)`,
// reading the request with `readRequest`, then closes it.
class FakeCompositor {
public:
    using ReadRequest = std::function<std::string(int fd)>;
    FakeCompositor(const std::filesystem::path& path, ReadRequest readRequest,
                   std::function<std::string(const std::string&)> reply)
        : readRequest_(std::move(readRequest)), reply_(std::move(reply)) {
        std::filesystem::create_directories(path.parent_path());
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(listener_, 8), 0);
        thread_ = std::thread([this] {
            for (;;) {
                const int fd = ::accept(listener_, nullptr, nullptr);
                if (fd < 0) return;
                const auto request = readRequest_(fd);
                requests_.fetch_add(1);
                const auto answer = reply_(request);
                [[maybe_unused]] const auto n = ::write(fd, answer.data(), answer.size());
                ::close(fd);
            }
        });
    }
    ~FakeCompositor() {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    int requests() const { return requests_.load(); }

private:
    int listener_ = -1;
    ReadRequest readRequest_;
    std::function<std::string(const std::string&)> reply_;
    std::atomic<int> requests_{0};
    std::thread thread_;
};

inline std::string readSome(int fd) {
    char buffer[256];
    const auto n = ::read(fd, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// The 14-byte header of an i3-ipc message (sway sends no payload with our requests).
inline std::string readSwayHeader(int fd) {
    char header[14];
    std::size_t got = 0;
    while (got < sizeof header) {
        const auto n = ::read(fd, header + got, sizeof header - got);
        if (n <= 0) return std::string();
        got += static_cast<std::size_t>(n);
    }
    return std::string(header, sizeof header);
}

}  // namespace gm::testing
