#include "Commands.h"

int main(int argc, char** argv) {
    CLI::App app{"glidemarkctl: inspect Glidemark's settings and replay input through its engine"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "glidemarkctl " GLIDEMARK_VERSION);
    int exitCode = 0;
    gm::ctl::addCheckSettingsCommand(app, exitCode);
    gm::ctl::addReplayCommand(app, exitCode);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    return exitCode;
}
