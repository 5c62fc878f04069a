// /proc/PID/cgroup and a sandbox's .flatpak-info are written by whatever runs
// in the process: any text names an application or nothing.
#include "FuzzCheck.h"
#include "platform/linux/desktop/ProcessInfo.h"

using gm::fuzz::expect;
using namespace gm::platform::linux_desktop;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto text = gm::fuzz::textOf(data, size);
    if (const auto id = parseFlatpakInfo(text)) expect(!id->empty(), "a Flatpak application id is not empty");
    if (const auto snap = parseSnapCgroup(text))
        expect(!snap->snap.empty() && snap->snap.find('.') == std::string::npos, "a snap name is one dotless word");
    return 0;
}
