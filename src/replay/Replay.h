#pragma once
// Replays an input trace through the real engine on the simulated desktop and
// reports every engine action (pass, drop, untapped, post) as JSON Lines.
//
// Trace: JSON Lines, each an object with `t` (virtual seconds, non-decreasing)
// and `kind`; blank lines are skipped. The kinds and their fields are listed
// in the README. Before the first line, at t = 0 (not a task, so before every
// line): input access is granted, the settings manager loads from the
// simulated user defaults (holding the given settings document, if any), and
// the engine starts. Each accepted line is a task of the scheduler created
// before any engine task, so at equal times a line runs first. A line whose
// `t` is unusable or goes backwards is reported right after the previous
// accepted line; any other problem is reported in the line's own turn. The
// run ends at `until` (inclusive; default: the last line's t + 10), and never
// after kLatestTime, past which a line's t is an error. Idle stretches cost
// nothing, however long.
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/Scheduler.h"

namespace gm::replay {

inline constexpr double kLatestTime = platform::sim::Scheduler::kLatestTime;

struct Options {
    std::optional<std::string> settingsDocument;  // bytes stored under "glidemarkSettings"
    std::optional<double> until;
};

// Receives each output line (one JSON object, no newline) as it happens.
using LineSink = std::function<void(const std::string& line)>;
// Receives what the simulated program prints or logs.
using DiagnosticSink = std::function<void(const std::string& text)>;

void run(const std::vector<std::string>& traceLines, const Options& options, const LineSink& out,
         const DiagnosticSink& diagnostics);

// Reads lines from a stream (for files and standard input).
std::vector<std::string> readLines(std::istream& in);

}  // namespace gm::replay
