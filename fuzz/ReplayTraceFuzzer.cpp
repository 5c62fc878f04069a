// `glidemarkctl replay` reads traces people attach to bug reports, and the
// preferences preview feeds it too: any trace, settings lines included, runs
// to its end with an error line for each line it cannot use.
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "replay/Replay.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines;
    std::istringstream in{std::string(gm::fuzz::textOf(data, size))};
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    const auto check = [](const auto& l) { gm::fuzz::expect(nlohmann::json::accept(l), "every output line is JSON"); };
    gm::replay::run(lines, gm::replay::Options{}, check, [](const std::string&) {});
    return 0;
}
