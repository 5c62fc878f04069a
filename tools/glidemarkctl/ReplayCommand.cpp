#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "Commands.h"
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
        replay::Options options;
        options.until = args->until;
        if (!args->settingsFile.empty()) {
            std::ifstream in(args->settingsFile, std::ios::binary);
            if (!in) {
                std::cerr << "glidemarkctl replay: cannot read settings file " << args->settingsFile << "\n";
                exitCode = 2;
                return;
            }
            options.settingsDocument = std::string(std::istreambuf_iterator<char>(in), {});
        }
        std::vector<std::string> lines;
        if (args->trace == "-") {
            lines = replay::readLines(std::cin);
        } else {
            std::ifstream in(args->trace);
            if (!in) {
                std::cerr << "glidemarkctl replay: cannot read trace " << args->trace << "\n";
                exitCode = 2;
                return;
            }
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
