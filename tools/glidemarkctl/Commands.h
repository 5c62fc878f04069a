#pragma once
// Each subcommand of glidemarkctl registers itself here; `exitCode` receives its result.
#include <CLI/CLI.hpp>

namespace gm::ctl {

void addCheckSettingsCommand(CLI::App& app, int& exitCode);
void addReplayCommand(CLI::App& app, int& exitCode);

}  // namespace gm::ctl
