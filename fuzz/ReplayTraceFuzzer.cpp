// `glidemarkctl replay` reads traces people attach to bug reports, and the
// preferences preview feeds it too: any trace, settings lines included, runs
// to its end with an error line for each line it cannot use.
#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "replay/Replay.h"

namespace {

using nlohmann::json;

// Virtual seconds every run stops at: the engine's keeper timers tick every
// few virtual seconds, so a far `t` would only make runs slow, not find more.
constexpr double kUntil = 30;

// Known faults of the replay tool that are being fixed on their own; inputs
// that reach them are left out so that the fuzzer looks elsewhere.
bool reachesKnownReplayFault(const std::vector<std::string>& lines) {
    constexpr double kTwo63 = 9223372036854775808.0;
    const auto isTwo63 = [&](const json* v) { return v && v->is_number_float() && v->get<double>() == kTwo63; };
    const auto at = [](const json& o, const char* key) -> const json* {
        const auto it = o.find(key);
        return it == o.end() ? nullptr : &*it;
    };
    for (const auto& text : lines) {
        // A settings document nested this deep is written out again recursively.
        int depth = 0;
        bool inString = false;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (inString) {
                if (c == '\\') ++i;
                else if (c == '"') inString = false;
            } else if (c == '"') {
                inString = true;
            } else if ((c == '[' || c == '{') && ++depth > 200) {
                return true;
            } else if (c == ']' || c == '}') {
                --depth;
            }
        }
        const auto line = json::parse(text, nullptr, false);
        if (!line.is_object()) continue;
        // Display clocks count frames up to the first one due in floating point.
        if (const auto* hz = at(line, "hz"); hz && hz->is_number() && hz->get<double>() > 1000) return true;
        // 2^63 written as a double passes the integer range check.
        if (isTwo63(at(line, "flags")) || isTwo63(at(line, "keycode"))) return true;
        if (const auto* fields = at(line, "fields"); fields && fields->is_object())
            if (isTwo63(at(*fields, "11")) || isTwo63(at(*fields, "12"))) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines;
    std::string_view rest = gm::fuzz::textOf(data, size);
    while (!rest.empty()) {
        const auto nl = rest.find('\n');
        lines.emplace_back(rest.substr(0, nl));
        rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
    }
    if (reachesKnownReplayFault(lines)) return -1;  // not added to the corpus

    gm::replay::Options options;
    options.until = kUntil;
    gm::replay::run(
        lines, options,
        [](const std::string& line) { gm::fuzz::expect(json::accept(line), "every output line is JSON"); },
        [](const std::string&) {});
    return 0;
}
