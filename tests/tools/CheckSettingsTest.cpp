// Runs the built glidemarkctl and checks what check-settings prints and returns.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

#include "settings/ExampleDocument.h"

namespace {

namespace fs = std::filesystem;

struct Run {
    int exitCode;
    std::string output;  // standard output and standard error together
};

Run run(const std::string& arguments, const std::string& environment = "") {
    std::string command = environment + " '" GLIDEMARKCTL "' check-settings " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return {-1, "popen failed"};
    std::string output;
    std::array<char, 512> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
    int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

class CheckSettings : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "glidemarkctl-test-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
    }
    void TearDown() override { fs::remove_all(folder); }
    std::string write(const std::string& name, const std::string& text) {
        fs::create_directories((folder / name).parent_path());
        std::ofstream(folder / name) << text;
        return (folder / name).string();
    }
    fs::path folder;
};

TEST_F(CheckSettings, GivenFile) {
    EXPECT_EQ(run(write("good.json", gm::settings::test::kExampleDocument)).exitCode, 0);
    EXPECT_EQ(run(write("good.json", gm::settings::test::kExampleDocument)).output, "OK\n");

    std::string bad = gm::settings::test::kExampleDocument;
    bad.replace(bad.find("\"smooth\":false"), 14, "\"smooth\":1");
    auto rejected = run(write("bad.json", bad));
    EXPECT_EQ(rejected.exitCode, 1);
    EXPECT_EQ(rejected.output,
              "appSettings.exceptionalApplication[0].scrollBase.smooth: expected true or false, got 1\n");

    auto unreadable = run((folder / "absent.json").string());
    EXPECT_EQ(unreadable.exitCode, 2);
    EXPECT_NE(unreadable.output.find("Cannot read"), std::string::npos) << unreadable.output;
    EXPECT_EQ(run(folder.string()).exitCode, 2) << "a folder is not a document";
}

TEST_F(CheckSettings, StoredDocumentOfTheUser) {
    const std::string env = "XDG_CONFIG_HOME='" + folder.string() + "'";
    auto none = run("", env);
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.output, "No stored settings at " + (folder / "glidemark/glidemarkSettings.json").string() +
                               "; the defaults apply\n");

    write("glidemark/glidemarkSettings.json", "{}");
    auto rejected = run("", env);
    EXPECT_EQ(rejected.exitCode, 1);
    EXPECT_EQ(rejected.output, "appSettings: missing\n");
}

}  // namespace
