#include <iostream>
#include <limits>
#include <sstream>

#include "Commands.h"
#include "platform/linux/FileUserDefaults.h"
#include "replay/Replay.h"

namespace gm::ctl {

namespace {

struct ReplayArgs {
    std::string trace;
    std::string settingsFile;
    std::optional<double> until;
};

}  // namespace

void addReplayCommand(CLI::App& app, int& exitCode) {
    auto args = std::make_shared<ReplayArgs>();
    CLI::App* cmd = app.add_subcommand(
        "replay", "Replay an input trace (JSON Lines) through the engine on a simulated desktop and print what it does");
    cmd->add_option("TRACE", args->trace, "Trace file, or - for standard input")->required();
    cmd->add_option("--settings", args->settingsFile, "Settings document to start with (as stored)");
    cmd->add_option("--until", args->until, "Virtual time at which the run ends (default: last line's t + 10)");
    cmd->callback([args, &exitCode] {
        exitCode = 2;
        replay::Options options;
        if (args->until && !(*args->until >= 0 && *args->until <= replay::kLatestTime)) {
            std::cerr << "glidemarkctl replay: --until must be a time from 0 to 1e12 seconds\n";
            return;
        }
        options.until = args->until;
        platform::FileSystemOps files;
        if (!args->settingsFile.empty()) {
            std::string bytes;
            if (const int error = files.readFile(args->settingsFile, bytes, platform::kMaxStoredBytes); error != 0) {
                std::cerr << "glidemarkctl replay: cannot read settings file " << args->settingsFile << ": "
                          << platform::describeReadError(error) << "\n";
                return;
            }
            options.settingsDocument = std::move(bytes);
        }
        std::vector<std::string> lines;
        if (args->trace == "-") {
            lines = replay::readLines(std::cin);
        } else {
            // A folder is unreadable (EISDIR), not an empty trace.
            std::string bytes;
            if (const int error = files.readFile(args->trace, bytes, std::numeric_limits<std::size_t>::max()); error != 0) {
                std::cerr << "glidemarkctl replay: cannot read trace " << args->trace << ": "
                          << platform::describeReadError(error) << "\n";
                return;
            }
            std::istringstream in(std::move(bytes));
            lines = replay::readLines(in);
        }
        replay::run(
            lines, options, [](const std::string& line) { std::cout << line << '\n'; },
            [](const std::string& text) { std::cerr << text << '\n'; });
        std::cout.flush();
        exitCode = 0;
    });
}

}  // namespace gm::ctl
