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
std::pair<int, std::string> checkSettings(const std::string& arguments, const std::string& environment = "") {
    std::string command = environment + " '" GLIDEMARKCTL "' check-settings " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    char buffer[512];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    int status = pipe ? ::pclose(pipe) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
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

}  // namespace
