// Runs the built glidemarkctl and checks what check-settings prints and returns.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

#include "settings/ExampleDocument.h"

namespace {

namespace fs = std::filesystem;

// Exit code, then standard output and error together.
std::pair<int, std::string> glidemarkctl(const std::string& arguments, const std::string& environment = "") {
    // Bounded: a command that never ends fails instead of hanging the suite.
    std::string command = environment + " timeout 60 '" GLIDEMARKCTL "' " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    char buffer[512];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    int status = pipe ? ::pclose(pipe) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::pair<int, std::string> checkSettings(const std::string& arguments, const std::string& environment = "") {
    return glidemarkctl("check-settings " + arguments, environment);
}

TEST(CheckSettings, ExitCodesAndMessages) {
    std::string pattern = (fs::temp_directory_path() / "glidemarkctl-test-XXXXXX").string();
    const fs::path folder = ::mkdtemp(pattern.data());
    std::ofstream(folder / "good.json") << gm::settings::test::kExampleDocument;
    EXPECT_EQ(checkSettings((folder / "good.json").string()), std::make_pair(0, std::string("OK\n")));

    std::string bad = gm::settings::test::kExampleDocument;
    bad.replace(bad.find("\"smooth\":false"), 14, "\"smooth\":1");
    std::ofstream(folder / "bad.json") << bad;
    EXPECT_EQ(checkSettings((folder / "bad.json").string()),
              std::make_pair(1, std::string("appSettings.exceptionalApplication[0].scrollBase.smooth: expected true or "
                                            "false, got 1\n")));

    EXPECT_EQ(checkSettings((folder / "absent.json").string()).first, 2);
    EXPECT_EQ(checkSettings(folder.string()).first, 2) << "a folder is not a document";

    // Without FILE: the user's stored document, found through XDG_CONFIG_HOME.
    const std::string env = "XDG_CONFIG_HOME='" + folder.string() + "'";
    EXPECT_EQ(checkSettings("", env), std::make_pair(0, "No stored settings at " + folder.string() +
                                                            "/glidemark/glidemarkSettings.json; the defaults apply\n"));
    fs::create_directory(folder / "glidemark");
    std::ofstream(folder / "glidemark" / "glidemarkSettings.json") << "{}";
    EXPECT_EQ(checkSettings("", env), std::make_pair(1, std::string("appSettings: missing\n")));
    fs::remove_all(folder);
}

// Both commands: what cannot be read, or is far too large to be a settings
// document, ends with status 2 and says why.
TEST(Glidemarkctl, UnreadableInputEndsWithStatus2AndAMessage) {
    std::string pattern = (fs::temp_directory_path() / "glidemarkctl-test-XXXXXX").string();
    const std::string folder = ::mkdtemp(pattern.data());
    std::ofstream(folder + "/trace.jsonl") << R"({"t":0,"kind":"start"})" << '\n';
    std::ofstream(folder + "/huge.json").close();
    fs::resize_file(folder + "/huge.json", 5 << 20);
    const std::string trace = " " + folder + "/trace.jsonl";
    const std::pair<std::string, std::string> rows[] = {
        {"check-settings " + folder + "/huge.json", "larger than 4 MiB"},
        {"replay " + folder, "cannot read trace " + folder + ": Is a directory"},
        {"replay --settings " + folder + trace, "cannot read settings file " + folder + ": Is a directory"},
        {"replay --settings " + folder + "/huge.json" + trace, "larger than 4 MiB"},
        {"replay --until nan" + trace, "--until must be a time from 0 to 1e12 seconds"},
    };
    for (const auto& [arguments, message] : rows) {
        const auto [status, output] = glidemarkctl(arguments);
        EXPECT_EQ(status, 2) << arguments;
        EXPECT_NE(output.find(message), std::string::npos) << arguments << ": " << output;
    }
    fs::remove_all(folder);
}

}  // namespace
