#pragma once
// What /proc tells about a process that helps name its application: the
// sandbox it runs in and its executable. Every function takes the /proc root
// so tests can point it at a directory of sample files.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Services.h"

namespace gm::platform::linux_desktop {

struct SnapApp {
    std::string snap;  // "firefox"
    std::string app;   // "firefox"; empty when the cgroup names only the snap
};

// The application id in a .flatpak-info file: name= in the [Application] group.
std::optional<std::string> parseFlatpakInfo(std::string_view text);
// The snap a process runs in, from the text of /proc/PID/cgroup
// ("0::/user.slice/.../snap.firefox.firefox-1234.scope").
std::optional<SnapApp> parseSnapCgroup(std::string_view text);

class ProcFs {
public:
    explicit ProcFs(std::filesystem::path root = "/proc") : root_(std::move(root)) {}

    std::optional<std::string> flatpakAppId(ProcessID pid) const;
    std::optional<SnapApp> snapApp(ProcessID pid) const;
    // The resolved /proc/PID/exe, without the " (deleted)" mark of a replaced binary.
    std::optional<std::string> executable(ProcessID pid) const;
    // /proc/PID/comm: the short process name.
    std::optional<std::string> command(ProcessID pid) const;
    bool exists(ProcessID pid) const;

private:
    std::filesystem::path dir(ProcessID pid) const { return root_ / std::to_string(pid); }
    std::filesystem::path root_;
};

}  // namespace gm::platform::linux_desktop
