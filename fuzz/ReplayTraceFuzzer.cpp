// `glidemarkctl replay` reads traces people attach to bug reports, and the
// preferences preview feeds it too: any trace, settings lines included, runs
// to its end with an error line for each line it cannot use.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "replay/Replay.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines;
    std::string_view rest = gm::fuzz::textOf(data, size);
    while (!rest.empty()) {
        const auto nl = rest.find('\n');
        lines.emplace_back(rest.substr(0, nl));
        rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
    }
    gm::replay::run(
        lines, gm::replay::Options{},
        [](const std::string& line) {
            gm::fuzz::expect(nlohmann::json::accept(line), "every output line is JSON");
        },
        [](const std::string&) {});
    return 0;
}
