#pragma once
// A private X server for one test program: Xvfb on a free display number
// (it reports the number it took through -displayfd), stopped at the end.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>

namespace gm::testing {

class XvfbServer {
public:
    // Null with `whyNot` set when no server could be started.
    static std::unique_ptr<XvfbServer> start(std::string& whyNot) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            whyNot = "pipe failed";
            return nullptr;
        }
        const pid_t pid = ::fork();
        if (pid < 0) {
            whyNot = "fork failed";
            return nullptr;
        }
        if (pid == 0) {
            ::close(fds[0]);
            const int fd = ::dup(fds[1]);  // without close-on-exec
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            const std::string fdText = std::to_string(fd);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fdText.c_str(), "-screen", "0", "1280x800x24", "-nolisten", "tcp",
                     "-noreset", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        auto server = std::unique_ptr<XvfbServer>(new XvfbServer(pid));
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        // Bounded: a server that never comes up fails the test instead of hanging it.
        for (int waited = 0; waited < 100 && number.find('\n') == std::string::npos; ++waited) {
            if (::poll(&p, 1, 100) <= 0) continue;
            char buffer[32];
            const auto n = ::read(fds[0], buffer, sizeof buffer);
            if (n <= 0) break;
            number.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(fds[0]);
        if (number.empty() || number.find('\n') == std::string::npos) {
            whyNot = "Xvfb is not installed or did not start";
            return nullptr;
        }
        server->display_ = ":" + number.substr(0, number.find('\n'));
        return server;
    }
    ~XvfbServer() {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    const std::string& display() const { return display_; }

private:
    explicit XvfbServer(pid_t pid) : pid_(pid) {}
    pid_t pid_;
    std::string display_;
};

}  // namespace gm::testing
