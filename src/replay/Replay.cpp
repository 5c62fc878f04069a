#include "replay/Replay.h"

#include <cmath>
#include <istream>
#include <nlohmann/json.hpp>

#include "engine/Engine.h"
#include "platform/sim/SimDesktop.h"
#include "settings/SettingsCodec.h"
#include "settings/SettingsManager.h"

namespace gm::replay {

using nlohmann::json;
using nlohmann::ordered_json;
using platform::sim::Delivery;
using platform::sim::SimDesktop;

namespace {

constexpr platform::EventField kReportedFields[] = {11, 12, 88, 93, 94, 96, 97, 99, 100, 123};
// A settings document is 6 levels deep inside its line.
constexpr int kMaxLineDepth = 64;

ordered_json fieldsOf(const platform::Event& event) {
    ordered_json f = ordered_json::object();
    for (platform::EventField id : kReportedFields) {
        const std::string key = std::to_string(id);
        if (id == 11 || id == 12) f[key] = event.integerValue(id);
        else f[key] = event.doubleValue(id);
    }
    return f;
}

// Thrown while applying a line; becomes an error output line.
struct LineError {
    std::string message;
};

const json& require(const json& line, const char* key) {
    auto it = line.find(key);
    if (it == line.end()) throw LineError{std::string("missing \"") + key + "\""};
    return *it;
}

double number(const json& v, const char* what) {
    if (!v.is_number()) throw LineError{std::string("\"") + what + "\" must be a number"};
    double d = v.get<double>();
    if (!std::isfinite(d)) throw LineError{std::string("\"") + what + "\" must be finite"};
    return d;
}

std::int64_t integral(const json& v, const char* what, std::int64_t lo, std::int64_t hi) {
    if (v.is_number_integer()) {
        if (v.is_number_unsigned()) {
            auto u = v.get<std::uint64_t>();
            if (u > static_cast<std::uint64_t>(hi)) throw LineError{std::string("\"") + what + "\" is out of range"};
            return static_cast<std::int64_t>(u);
        }
        auto i = v.get<std::int64_t>();
        if (i < lo || i > hi) throw LineError{std::string("\"") + what + "\" is out of range"};
        return i;
    }
    double d = number(v, what);
    if (std::trunc(d) != d) throw LineError{std::string("\"") + what + "\" must be a whole number"};
    // double(INT64_MAX) rounds up to 2^63, which no int64 holds: compare against hi + 1 instead.
    if (d < static_cast<double>(lo) || d >= static_cast<double>(hi) + 1.0)
        throw LineError{std::string("\"") + what + "\" is out of range"};
    return static_cast<std::int64_t>(d);
}

bool boolean(const json& line, const char* key, std::optional<bool> fallback = std::nullopt) {
    auto it = line.find(key);
    if (it == line.end()) {
        if (fallback) return *fallback;
        throw LineError{std::string("missing \"") + key + "\""};
    }
    if (!it->is_boolean()) throw LineError{std::string("\"") + key + "\" must be true or false"};
    return it->get<bool>();
}

std::optional<std::string> optionalString(const json& line, const char* key) {
    const json& v = require(line, key);
    if (v.is_null()) return std::nullopt;
    if (!v.is_string()) throw LineError{std::string("\"") + key + "\" must be a string or null"};
    return v.get<std::string>();
}

platform::Point point(const json& line, const char* key) {
    auto it = line.find(key);
    if (it == line.end()) return {};
    if (!it->is_array() || it->size() != 2) throw LineError{std::string("\"") + key + "\" must be [x, y]"};
    return {number((*it)[0], key), number((*it)[1], key)};
}

std::uint64_t flagsOf(const json& line) {
    auto it = line.find("flags");
    if (it == line.end()) return 0;
    return static_cast<std::uint64_t>(integral(*it, "flags", 0, std::numeric_limits<std::int64_t>::max()));
}

platform::ProcessID pidOf(const json& line, const char* key, std::optional<platform::ProcessID> fallback = {}) {
    auto it = line.find(key);
    if (it == line.end()) {
        if (fallback) return *fallback;
        throw LineError{std::string("missing \"") + key + "\""};
    }
    return static_cast<platform::ProcessID>(integral(*it, key, std::numeric_limits<platform::ProcessID>::min(),
                                                      std::numeric_limits<platform::ProcessID>::max()));
}

class Session {
public:
    Session(const Options& options, const LineSink& out, const DiagnosticSink& diagnostics)
        : out_(out), diagnostics_(diagnostics), sink_(*this) {
        desktop_.setLogSink(&sink_);
        desktop_.setConsoleEcho([this](std::string_view text) { diagnostics_(std::string(text)); });
        desktop_.simTaps().onDelivery = [this](const Delivery& d) { report(d); };
        if (options.settingsDocument)
            desktop_.memoryDefaults().setData(settings::SettingsManager::kKey, *options.settingsDocument);
    }

    // Start-up at t = 0, after the trace's tasks exist.
    void startUp() {
        desktop_.setTrusted(true);
        settings_ = std::make_unique<settings::SettingsManager>(desktop_.userDefaults(), desktop_.logger(),
                                                                desktop_.clock());
        engine_ = std::make_unique<engine::Engine>(desktop_, *settings_);
        engine_->core.start();
    }

    SimDesktop& desktop() { return desktop_; }

    void error(std::size_t lineNumber, const std::string& message) {
        ordered_json o;
        o["t"] = desktop_.now();
        o["kind"] = "error";
        o["line"] = lineNumber;
        o["message"] = message;
        out_(o.dump());
    }

    void apply(const json& line) {
        const std::string kind = require(line, "kind").is_string() ? line["kind"].get<std::string>() : "";
        if (kind == "screen") {
            platform::Screen s;
            s.displayID = static_cast<platform::DisplayID>(integral(require(line, "id"), "id", 0, 0xFFFFFFFF));
            const json& frame = require(line, "frame");
            if (!frame.is_array() || frame.size() != 4) throw LineError{"\"frame\" must be [x, y, width, height]"};
            s.frame = {number(frame[0], "frame"), number(frame[1], "frame"), number(frame[2], "frame"),
                       number(frame[3], "frame")};
            s.refreshRate = line.contains("hz") ? number(line["hz"], "hz") : 60.0;
            if (s.refreshRate < platform::sim::kMinRefreshRate || s.refreshRate > platform::sim::kMaxRefreshRate)
                throw LineError{"\"hz\" must be from 1 to 1000"};
            desktop_.simDisplays().setScreen(s);
        } else if (kind == "app") {
            platform::RunningApplication app;
            app.processIdentifier = pidOf(line, "pid");
            app.bundleIdentifier = optionalString(line, "bundleId");
            const json& name = require(line, "name");
            if (!name.is_string()) throw LineError{"\"name\" must be a string"};
            app.localizedName = name.get<std::string>();
            app.executablePath = optionalString(line, "executable");
            app.activationPolicy =
                boolean(line, "regular", true) ? platform::ActivationPolicy::Regular : platform::ActivationPolicy::Accessory;
            desktop_.simWorkspace().launch(std::move(app));
        } else if (kind == "quit") {
            desktop_.simWorkspace().quit(pidOf(line, "pid"));
        } else if (kind == "activate") {
            desktop_.simWorkspace().activate(pidOf(line, "pid"));
        } else if (kind == "window") {
            const json& name = require(line, "name");
            if (!name.is_string()) throw LineError{"\"name\" must be a string"};
            if (boolean(line, "onScreen")) desktop_.simWorkspace().addWindow(name.get<std::string>());
            else desktop_.simWorkspace().removeWindow(name.get<std::string>());
        } else if (kind == "scroll") {
            auto event = std::make_shared<platform::FieldTableEvent>(platform::EventType::ScrollWheel, flagsOf(line),
                                                                     point(line, "location"));
            if (auto it = line.find("fields"); it != line.end()) {
                if (!it->is_object()) throw LineError{"\"fields\" must be an object"};
                for (const auto& [key, value] : it->items()) {
                    char* end = nullptr;
                    const unsigned long id = std::strtoul(key.c_str(), &end, 10);
                    if (key.empty() || *end != '\0' || id >= platform::FieldTableEvent::kFieldCount)
                        throw LineError{"unknown field \"" + key + "\""};
                    const auto fieldId = static_cast<platform::EventField>(id);
                    if (fieldId == 11 || fieldId == 12)
                        event->setIntegerValue(fieldId, integral(value, key.c_str(), std::numeric_limits<std::int64_t>::min(),
                                                                 std::numeric_limits<std::int64_t>::max()));
                    else
                        event->setDoubleValue(fieldId, number(value, key.c_str()));
                }
            }
            event->setIntegerValue(platform::field::targetProcessID, pidOf(line, "targetPid", 1));
            event->setIntegerValue(platform::field::sourceProcessID, pidOf(line, "sourcePid", 0));
            desktop_.simTaps().deliver(event);
        } else if (kind == "flagsChanged") {
            auto event = std::make_shared<platform::FieldTableEvent>(platform::EventType::FlagsChanged, flagsOf(line));
            event->setIntegerValue(platform::field::keyboardKeycode,
                                   integral(require(line, "keycode"), "keycode", std::numeric_limits<std::int64_t>::min(),
                                            std::numeric_limits<std::int64_t>::max()));
            desktop_.simTaps().deliver(event);
        } else if (kind == "leftMouseDown") {
            desktop_.simTaps().deliver(
                std::make_shared<platform::FieldTableEvent>(platform::EventType::LeftMouseDown, 0, point(line, "location")));
        } else if (kind == "settings") {
            const json& document = require(line, "document");
            auto decoded = settings::decode(document.dump());
            if (!decoded) throw LineError{"settings document: " + decoded.error};
            settings_->setSettings(std::move(*decoded.settings));
        } else if (kind == "start") {
            engine_->core.start();
        } else if (kind == "end") {
            engine_->core.end();
        } else if (kind == "trust") {
            desktop_.setTrusted(boolean(line, "granted"));
        } else if (kind == "tapDisabled") {
            const json& tap = require(line, "tap");
            const std::string name = tap.is_string() ? tap.get<std::string>() : "";
            std::uint64_t mask = 0;
            if (name == "scroll") mask = engine::ScrollCore::scrollEventMask;
            else if (name == "hotkey") mask = engine::ScrollCore::hotkeyEventMask;
            else if (name == "mouse") mask = engine::ScrollCore::mouseLeftEventMask;
            else throw LineError{"\"tap\" must be \"scroll\", \"hotkey\" or \"mouse\""};
            desktop_.simTaps().disableBySystem(mask);
        } else {
            throw LineError{kind.empty() ? "\"kind\" must be a string" : "unknown kind \"" + kind + "\""};
        }
    }

private:
    class ForwardingSink final : public platform::LogSink {
    public:
        explicit ForwardingSink(Session& s) : session_(s) {}
        void write(platform::LogLevel, std::string_view, std::string_view category, std::string_view message) override {
            std::string text = "glidemark[";
            text.append(category).append("] ").append(message);
            session_.diagnostics_(text);
        }

    private:
        Session& session_;
    };

    void report(const Delivery& d) {
        ordered_json o;
        o["t"] = d.time;
        o["kind"] = platform::sim::toString(d.kind);
        if (d.event) o["fields"] = fieldsOf(*d.event);
        out_(o.dump());
    }

    const LineSink& out_;
    const DiagnosticSink& diagnostics_;
    ForwardingSink sink_;
    SimDesktop desktop_;
    std::unique_ptr<settings::SettingsManager> settings_;
    std::unique_ptr<engine::Engine> engine_;
};

bool isBlank(const std::string& s) {
    return s.find_first_not_of(" \t\r\n") == std::string::npos;
}

}  // namespace

std::vector<std::string> readLines(std::istream& in) {
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

void run(const std::vector<std::string>& traceLines, const Options& options, const LineSink& out,
         const DiagnosticSink& diagnostics) {
    Session session(options, out, diagnostics);
    auto& scheduler = session.desktop().scheduler();

    // Problems with a line's time are told right after the previous accepted line.
    std::vector<std::pair<std::size_t, std::string>> beforeFirst;
    std::vector<std::pair<std::size_t, std::string>>* pendingTimeErrors = &beforeFirst;
    std::vector<std::unique_ptr<std::vector<std::pair<std::size_t, std::string>>>> afterLines;
    double lastT = 0;
    bool any = false;

    for (std::size_t i = 0; i < traceLines.size(); ++i) {
        const std::size_t lineNumber = i + 1;
        if (isBlank(traceLines[i])) continue;
        // Values nested deeper than any line needs are left out as they are
        // read: handling them (the settings document is encoded again) would
        // recurse as deep as they go.
        bool tooDeep = false;
        const auto keep = [&tooDeep](int depth, json::parse_event_t, const json&) {
            if (depth <= kMaxLineDepth) return true;
            tooDeep = true;
            return false;
        };
        json line = json::parse(traceLines[i], keep, false);
        if (line.is_discarded() || !line.is_object()) {
            pendingTimeErrors->emplace_back(lineNumber, "not a JSON object");
            continue;
        }
        auto t = line.find("t");
        if (t == line.end() || !t->is_number() || !std::isfinite(t->get<double>())) {
            pendingTimeErrors->emplace_back(lineNumber, "missing or unusable \"t\"");
            continue;
        }
        const double when = t->get<double>();
        if (when < (any ? lastT : 0.0)) {
            pendingTimeErrors->emplace_back(lineNumber, "\"t\" goes backwards");
            continue;
        }
        if (when > kLatestTime) {
            pendingTimeErrors->emplace_back(lineNumber, "\"t\" is past the end of replays (1e12)");
            continue;
        }
        any = true;
        lastT = when;
        afterLines.push_back(std::make_unique<std::vector<std::pair<std::size_t, std::string>>>());
        auto* after = afterLines.back().get();
        pendingTimeErrors = after;
        scheduler.schedule(when, [&session, lineNumber, after, tooDeep, line = std::move(line)] {
            try {
                if (tooDeep) throw LineError{"nested deeper than " + std::to_string(kMaxLineDepth) + " levels"};
                session.apply(line);
            } catch (const LineError& e) {
                session.error(lineNumber, e.message);
            } catch (const std::exception& e) {
                session.error(lineNumber, e.what());
            }
            for (const auto& [n, message] : *after) session.error(n, message);
        });
    }

    session.startUp();
    for (const auto& [n, message] : beforeFirst) session.error(n, message);
    const double until = options.until && !std::isnan(*options.until) ? *options.until : lastT + 10;
    scheduler.runUntil(std::min(until, kLatestTime));
}

}  // namespace gm::replay
