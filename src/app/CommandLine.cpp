#include "app/CommandLine.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/AppMover.h"

namespace gm::app {

namespace {

// A copy that was just installed gives the old one this long to end before it
// starts anyway; the single-instance rule then sorts out the two.
constexpr int kWaitForPidMs = 30000;

constexpr const char* kUsage =
    "Usage: glidemark [--help] [--version]\n"
    "\n"
    "Smooth scrolling for notched mouse wheels. Glidemark lives in the system\n"
    "tray; without a display it runs the scroll engine alone. Launching it again\n"
    "while it runs opens the preferences window.\n"
    "\n"
    "Options:\n"
    "  --help              print this text and exit\n"
    "  --version           print the version and exit\n"
    "  --wait-for-pid PID  wait until process PID has ended before starting\n"
    "\n"
    "Environment:\n"
    "  GLIDEMARK_NO_MOVE   when set, do not offer to install the program\n"
    "\n"
    "Settings: $XDG_CONFIG_HOME/glidemark/glidemarkSettings.json\n";

std::optional<long long> parsePid(const char* text) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value <= 0) return std::nullopt;
    return value;
}

}  // namespace

std::optional<int> handleCommandLine(int& argc, char** argv) {
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::fputs("glidemark " GLIDEMARK_VERSION "\n", stdout);
            return 0;
        }
        if (std::strcmp(arg, "--wait-for-pid") == 0) {
            const std::optional<long long> pid = i + 1 < argc ? parsePid(argv[i + 1]) : std::nullopt;
            if (!pid) {
                std::fputs("glidemark: --wait-for-pid needs a process id\n", stderr);
                return 2;
            }
            // Options are taken in order: whatever follows happens once it has ended.
            AppMover::waitForProcessToEnd(*pid, kWaitForPidMs);
            ++i;
            continue;
        }
        argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    return std::nullopt;
}

}  // namespace gm::app
