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
        whyNot = "Xvfb is not installed or did not start";
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return nullptr;
        const pid_t pid = ::fork();
        if (pid == 0) {
            // The display number comes on standard output (dup2 keeps it open across exec), the rest goes nowhere.
            ::dup2(fds[1], 1);
            ::dup2(::open("/dev/null", O_WRONLY), 2);
            ::execlp("Xvfb", "Xvfb", "-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-noreset",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::unique_ptr<XvfbServer> server(pid > 0 ? new XvfbServer(pid) : nullptr);
        // Bounded: a server that never comes up fails the test instead of hanging it. A
        // server that cannot start closes the pipe.
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        for (char c = 0; server && c != '\n' && ::poll(&p, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1;) number += c;
        ::close(fds[0]);
        if (number.size() < 2 || number.back() != '\n') return nullptr;
        server->display_ = ":" + number.substr(0, number.size() - 1);
        whyNot.clear();
        return server;
    }
    ~XvfbServer() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    const std::string& display() const { return display_; }

private:
    explicit XvfbServer(pid_t pid) : pid_(pid) {}
    pid_t pid_;
    std::string display_;
};

}  // namespace gm::testing
