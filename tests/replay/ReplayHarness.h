#pragma once
// Runs a trace through the real engine and keeps the output lines as JSON.
#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "replay/Replay.h"
#include "settings/SettingsCodec.h"

namespace gm::testing {

struct ReplayResult {
    std::vector<nlohmann::json> lines;
    std::vector<std::string> raw;  // as printed
    std::string diagnostics;

    std::vector<nlohmann::json> ofKind(const std::string& kind) const {
        std::vector<nlohmann::json> out;
        std::copy_if(lines.begin(), lines.end(), std::back_inserter(out), [&](const auto& l) { return l["kind"] == kind; });
        return out;
    }
    // Point deltas of the posted events on one axis ("96" vertical, "97" horizontal).
    std::vector<double> posted(const char* field = "96") const {
        std::vector<double> out;
        for (const auto& l : ofKind("post")) out.push_back(l["fields"][field].get<double>());
        return out;
    }
    // The kinds of the lines that are not posts, in order.
    std::vector<std::string> events() const {
        std::vector<std::string> out;
        for (const auto& l : lines)
            if (l["kind"] != "post") out.push_back(l["kind"]);
        return out;
    }
};

inline ReplayResult replayTrace(const std::vector<std::string>& trace, std::optional<std::string> settings = {},
                                std::optional<double> until = {}) {
    ReplayResult result;
    replay::run(
        trace, replay::Options{std::move(settings), until}, [&](const std::string& line) {
            result.raw.push_back(line);
            result.lines.push_back(nlohmann::json::parse(line));
        },
        [&](const std::string& text) { result.diagnostics += text + "\n"; });
    return result;
}

// The stored document of the default settings after `change`.
inline std::string settingsDocument(const std::function<void(settings::GlidemarkSettings&)>& change) {
    settings::GlidemarkSettings s;
    change(s);
    return *settings::encode(s);
}

// Ticks of 60 points over 200 ms, never accelerated, eased or not.
inline std::string sixtyPoints(bool easing) {
    return settingsDocument([&](settings::GlidemarkSettings& s) {
        s.scrollAdvanced = {.step = 60, .duration = 200, .accelerationDelta = 0};
        s.scrollBase.animationEasing = easing;
    });
}

inline const std::string kScreen60 = R"({"t":0,"kind":"screen","id":1,"frame":[0,0,1920,1080],"hz":60})";

// A notch of a wheel: line delta, fixed-point delta and point delta of the same sign.
inline std::string tick(double t, int direction = -1, const std::string& extra = "") {
    return R"({"t":)" + nlohmann::json(t).dump() + R"(,"kind":"scroll","fields":{"11":)" + std::to_string(direction) +
           R"(,"93":)" + std::to_string(direction) + R"(,"96":)" + std::to_string(10 * direction) +
           R"(},"location":[100,100])" + extra + "}";
}

}  // namespace gm::testing
