// Runs the built glidemarkctl and checks what it prints and returns.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

#include "settings/ExampleDocument.h"

namespace {

namespace fs = std::filesystem;

// Exit code, then standard output and error together.
std::pair<int, std::string> glidemarkctl(const std::string& environment, const std::string& arguments) {
    // Bounded: a command that never ends fails instead of hanging the suite.
    FILE* pipe = ::popen((environment + " timeout 60 '" GLIDEMARKCTL "' " + arguments + " 2>&1").c_str(), "r");
    std::string output;
    char buffer[512];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    int status = pipe ? ::pclose(pipe) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// Status 0 for good settings, 1 for settings that say what is wrong, 2 for
// input that cannot be read or is far too large to be a settings document.
TEST(Glidemarkctl, ExitCodesAndMessages) {
    std::string pattern = (fs::temp_directory_path() / "glidemarkctl-test-XXXXXX").string();
    const std::string dir = ::mkdtemp(pattern.data());
    std::string bad = gm::settings::test::kExampleDocument;
    bad.replace(bad.find("\"smooth\":false"), 14, "\"smooth\":1");
    std::ofstream(dir + "/good.json") << gm::settings::test::kExampleDocument;
    std::ofstream(dir + "/bad.json") << bad;
    fs::create_directories(dir + "/home/glidemark");
    std::ofstream(dir + "/home/glidemark/glidemarkSettings.json") << "{}";
    std::ofstream(dir + "/trace.jsonl") << R"({"t":0,"kind":"start"})" << '\n';
    std::ofstream(dir + "/huge.json").close();
    fs::resize_file(dir + "/huge.json", 5 << 20);
    const std::string trace = " " + dir + "/trace.jsonl";
    struct Row {
        std::string environment, arguments;
        int status;
        std::string output;  // all of it, or a part when it does not end the line
    };
    const Row rows[] = {
        {"", "check-settings " + dir + "/good.json", 0, "OK\n"},
        {"", "check-settings " + dir + "/bad.json", 1,
         "appSettings.exceptionalApplication[0].scrollBase.smooth: expected true or false, got 1\n"},
        {"", "check-settings " + dir + "/absent.json", 2, ""},
        {"", "check-settings " + dir, 2, ""},  // a folder is not a document
        // Without FILE: the user's stored document, found through XDG_CONFIG_HOME.
        {"XDG_CONFIG_HOME='" + dir + "'", "check-settings", 0,
         "No stored settings at " + dir + "/glidemark/glidemarkSettings.json; the defaults apply\n"},
        {"XDG_CONFIG_HOME='" + dir + "/home'", "check-settings", 1, "appSettings: missing\n"},
        {"", "check-settings " + dir + "/huge.json", 2, "larger than 4 MiB"},
        {"", "replay " + dir, 2, "cannot read trace " + dir + ": Is a directory"},
        {"", "replay --settings " + dir + trace, 2, "cannot read settings file " + dir + ": Is a directory"},
        {"", "replay --settings " + dir + "/huge.json" + trace, 2, "larger than 4 MiB"},
        {"", "replay --until nan" + trace, 2, "--until must be a time from 0 to 1e12 seconds"}};
    for (const Row& r : rows) {
        const auto [status, output] = glidemarkctl(r.environment, r.arguments);
        EXPECT_EQ(status, r.status) << r.arguments;
        const bool whole = r.output.ends_with('\n');
        EXPECT_TRUE(whole ? output == r.output : output.find(r.output) != std::string::npos) << r.arguments << ":" << output;
    }
    fs::remove_all(dir);
}

}  // namespace
