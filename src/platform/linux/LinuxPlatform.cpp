#include "platform/linux/LinuxPlatform.h"

#include "platform/linux/FileUserDefaults.h"
#include "platform/linux/JournalLogSink.h"

#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "platform/linux/DrmRefresh.h"
#include "platform/linux/EvdevDevices.h"

extern char** environ;

namespace gm::platform::linux_input {

double MonotonicClock::mediaTime() const {
    // Inside a frame, the refresh it is for (see currentFrameTime()). A frame
    // that runs a little late must still never read a time before one already
    // handed out (a tick's start), so the clock never goes back between threads.
    const double frame = currentFrameTime();
    double t = std::isnan(frame) ? monotonicSeconds() : frame;
    double latest = latest_.load(std::memory_order_relaxed);
    while (t > latest && !latest_.compare_exchange_weak(latest, t, std::memory_order_relaxed)) {
    }
    return t > latest ? t : latest;
}

double MonotonicClock::wallTime() const {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void StdoutConsole::print(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

namespace {
namespace fs = std::filesystem;

// The prefix the running program was installed under: /usr for /usr/bin/glidemark.
fs::path installPrefix() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return self.parent_path().parent_path();
}

// The first of `candidates` that exists, or empty.
std::string firstExisting(std::initializer_list<fs::path> candidates) {
    for (const fs::path& path : candidates) {
        std::error_code error;
        if (!path.empty() && fs::exists(path, error)) return path.string();
    }
    return {};
}

// The helper of the installation the program runs from, else of the configured
// prefix, else of the source tree (a program run from its build tree). It finds
// the rule and the module list beside itself.
std::string accessHelper() {
    const fs::path prefix = installPrefix();
    return firstExisting({prefix.empty() ? fs::path() : prefix / "libexec/glidemark/glidemark-install-access",
                          fs::path(GLIDEMARK_LIBEXEC_DIR) / "glidemark-install-access",
                          fs::path(GLIDEMARK_SOURCE_DATA_DIR) / "udev/glidemark-install-access"});
}
}  // namespace

void LinuxInputAccess::requestAccess() {
    std::string helper = accessHelper();
    if (helper.empty()) {
        log().error("cannot find the helper that installs the udev rule");
        return;
    }
    // An argument vector, never a shell line: nothing here is parsed by a shell.
    std::string program = "pkexec";
    std::vector<char*> argv{program.data(), helper.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "pkexec", nullptr, nullptr, argv.data(), environ) != 0) {
        log().error("cannot run pkexec to install the udev rule");
        return;
    }
    log().info("asked for access to the mice (udev rule)");
    // The prompt may stay up for a while; reap the helper without holding anyone up.
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) log().error("the udev rule was not installed");
    }).detach();
}

LinuxPlatform::LinuxPlatform()
    : LinuxPlatform(std::make_unique<EvdevBackend>(), std::make_unique<UdevMonitor>()) {
    systemLog_ = makeSystemLogSink();
    log().setSink(systemLog_.get());
    defaults_ = std::make_unique<FileUserDefaults>(FileUserDefaults::defaultFolder());
    if (auto phase = drmRefreshPhase()) {
        setRefreshPhase(std::move(phase));
        log().info("Display clock: ticks on the screen's refreshes (DRM vertical blanks)");
    }
}

LinuxPlatform::LinuxPlatform(std::unique_ptr<DeviceBackend> backend, std::unique_ptr<DeviceMonitor> monitor,
                             DeviceHub::Options options)
    : backend_(std::move(backend)),
      monitor_(std::move(monitor)),
      hub_(std::make_unique<DeviceHub>(*backend_, *monitor_, options)),
      access_(*backend_),
      taps_(
          runLoop_, [this] { return backend_->accessible(); }, [this] { startInput(); }) {
    taps_.setHub(hub_.get());
    hub_->setListener(&taps_);
}

LinuxPlatform::~LinuxPlatform() {
    shutdown();
    if (systemLog_) log().setSink(&stderrLogSink());
}

void LinuxPlatform::startInput() {
    std::lock_guard lock(mutex_);
    if (!shutDown_) hub_->start();
}

void LinuxPlatform::shutdown() {
    {
        std::lock_guard lock(mutex_);
        if (shutDown_) return;
        shutDown_ = true;
    }
    hub_->stop();
    engine_.shutdown();
}

std::unique_ptr<DispatchQueue> LinuxPlatform::createSerialQueue(const std::string& label) {
    return std::make_unique<SerialQueue>(label);
}

}  // namespace gm::platform::linux_input
