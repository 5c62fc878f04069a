// glidemarkctl check-settings [FILE]: tells whether a settings document would
// be accepted, and if not, the first problem in it, so that a hand edit can be
// checked before Glidemark falls back to its defaults.
//
// Exit codes: 0 the document is accepted (or there is none and the defaults
// apply), 1 it would be rejected, 2 it cannot be read (or is far too large to
// be one).
#include <cerrno>
#include <iostream>
#include <memory>
#include <string>

#include "Commands.h"
#include "StoredSettings.h"
#include "settings/SettingsCodec.h"
#include "settings/SettingsManager.h"

namespace gm::ctl {

namespace {

int checkSettings(const std::string& file) {
    const bool storedDocument = file.empty();
    const SettingsDocument document = storedDocument ? readStoredSettings() : readSettingsFile(file);
    const std::string& path = document.where;
    const std::string& bytes = document.bytes;
    if (const int error = document.error; error != 0) {
        if (storedDocument && error == ENOENT) {
            std::cout << "No stored settings at " << path << "; the defaults apply\n";
            return 0;
        }
        std::cerr << "Cannot read " << path << ": " << describeReadError(error) << '\n';
        return 2;
    }
    auto result = settings::decode(bytes);
    if (!result) {
        std::cout << result.error << '\n';
        return 1;
    }
    std::cout << "OK\n";
    return 0;
}

}  // namespace

void addCheckSettingsCommand(CLI::App& app, int& exitCode) {
    auto* command = app.add_subcommand(
        "check-settings", "Check a settings document by the rules Glidemark reads it with; prints OK or the first problem");
    auto file = std::make_shared<std::string>();
    command->add_option("FILE", *file, "The document to check (default: the stored settings of this user)");
    command->callback([file, &exitCode] { exitCode = checkSettings(*file); });
}

}  // namespace gm::ctl
