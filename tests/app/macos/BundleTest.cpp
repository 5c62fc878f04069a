// The macOS bundle's plain rules: its property lists, its icon container and
// the move into an Applications folder, run against a system that records
// every step it is asked to take.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <set>

#include "app/macos/BundleMover.h"
#include "app/macos/IconFamily.h"
#include "app/macos/PropertyList.h"

namespace gm::app::macos {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

// Info.plist makes a menu-bar agent for macOS 11; the launch agent carries the program's path
// as one escaped argument, or there is none; and the icon container.
TEST(BundleFilesTest, InfoPlistLaunchAgentAndIconFamily) {
    const auto info = infoPlist({"com.Pellmar.Glidemark", "Glidemark", "Glidemark", "1.2.3", "Glidemark.icns", "© us"});
    ASSERT_TRUE(info);
    for (const char* entry : {"<key>LSUIElement</key>\n\t<true/>\n",
                              "<key>LSMinimumSystemVersion</key>\n\t<string>11.5</string>\n",
                              "<key>CFBundleIdentifier</key>\n\t<string>com.Pellmar.Glidemark</string>\n",
                              "<key>CFBundleIconFile</key>\n\t<string>Glidemark.icns</string>\n"})
        EXPECT_THAT(*info, HasSubstr(entry));
    const std::pair<std::string, std::optional<std::string>> rows[] = {
        {"/Applications/Glidemark.app/Contents/MacOS/Glidemark",
         "\t\t<string>/Applications/Glidemark.app/Contents/MacOS/Glidemark</string>\n"},
        {"/Users/a&b/<x> 'y' \"z\".app", "\t\t<string>/Users/a&amp;b/&lt;x&gt; 'y' \"z\".app</string>\n"},
        {"/tmp/line\x01break", std::nullopt}};
    for (const auto& [program, argument] : rows) {
        const auto plist = launchAgentPlist("com.Pellmar.Glidemark", program);
        ASSERT_EQ(plist.has_value(), argument.has_value()) << program;
        if (!plist) continue;
        EXPECT_THAT(*plist, HasSubstr("<key>ProgramArguments</key>\n\t<array>\n" + *argument + "\t</array>\n"));
        EXPECT_THAT(*plist, HasSubstr("<key>RunAtLoad</key>\n\t<true/>\n"));
    }
    EXPECT_EQ(launchAgentPath("/Users/me", "com.Pellmar.Glidemark"),
              "/Users/me/Library/LaunchAgents/com.Pellmar.Glidemark.plist");

    // The icon container's entries carry big-endian lengths that count their headers.
    EXPECT_EQ(iconTypesForSize(32), (std::vector<std::string>{"icp5", "ic11"}));
    EXPECT_TRUE(iconTypesForSize(48).empty());
    const auto icns = iconFamily({{"icp4", "PNG16"}, {"ic11", std::string(300, 'x')}});
    ASSERT_TRUE(icns);
    const std::string expected = std::string("icns\0\0\x01\x49", 8) + std::string("icp4\0\0\0\x0d", 8) + "PNG16" +
                                 std::string("ic11\0\0\x01\x34", 8) + std::string(300, 'x');
    EXPECT_EQ(*icns, expected);
    EXPECT_FALSE(iconFamily({{"bad", "x"}}));
}

// Answers from tables and writes each step it is asked to take as one line.
class RecordingSystem final : public MoverSystem {
public:
    std::string bundle = "/Users/me/Downloads/Glidemark.app";
    std::set<std::string> existing{"/Applications"}, writable{"/Applications"}, running;
    std::deque<bool> answers{true};
    std::deque<CopyResult> privileged;
    std::vector<std::string> journal;

    std::string bundlePath() const override { return bundle; }
    std::vector<std::string> applicationsFolders() const override { return {"/Applications", "/Users/me/Applications"}; }
    std::vector<std::string> destinationCandidates() const override { return {"/Applications", "/System/Applications"}; }
    bool isFolder(const std::string&) const override { return true; }
    std::size_t entryCount(const std::string& folder) const override { return folder == "/Applications" ? 40 : 0; }
    bool exists(const std::string& path) const override { return existing.contains(path); }
    bool isWritable(const std::string& path) const override { return writable.contains(path); }
    std::string displayName() const override { return "Glidemark"; }
    std::int64_t processID() const override { return 321; }
    void activate() override {}
    bool confirmMove(const std::string& text) override {
        journal.push_back("alert " + text.substr(text.find("folder in order")));
        const bool yes = !answers.empty() && answers.front();
        if (!answers.empty()) answers.pop_front();
        return yes;
    }
    CopyResult run(const std::vector<std::string>& command) override {
        journal.push_back("run " + command.front() + " " + command.back());
        if (command.front() != "/usr/bin/osascript" || privileged.empty()) return CopyResult::Done;
        const CopyResult result = privileged.front();
        privileged.pop_front();
        return result;
    }
    bool spawn(const std::vector<std::string>& command) override {
        return record("spawn " + command.at(command.size() - 2) + " " + command.back());  // waits for that pid
    }
    bool isRunningFrom(const std::string& path) const override { return running.contains(path); }
    void open(const std::string& path) override { journal.push_back("open " + path); }
    bool moveToTrash(const std::string& path) override { return record("trash " + path); }
    bool copy(const std::string& from, const std::string& to) override { return record("copy " + from + " " + to); }
    bool remove(const std::string& path) override { return record("remove " + path); }
    void movedTo(const std::string& path) override { record("moved " + path); }

private:
    bool record(std::string line) { return journal.push_back(std::move(line)), true; }
};

const std::string kAsk = "alert folder in order to work properly.";
const std::string kAskAdmin = kAsk + " You need to authenticate with your administrator password to complete this step.";
const std::string kDest = "/Applications/Glidemark.app";
const std::string kSource = "/Users/me/Downloads/Glidemark.app";
// After the copy: forget the old bundle, clear the quarantine, start the new one once this process ends.
const std::vector<std::string> kFinish{"moved " + kDest, "remove " + kSource, "run /usr/bin/xattr " + kDest,
                                       "spawn 321 " + kDest};

TEST(BundleMoverTest, EachSituationTakesExactlyItsSteps) {
    using Steps = std::vector<std::string>;
    const auto readOnly = [](RecordingSystem& s) { s.writable.clear(); };
    const auto then = [](Steps first, const Steps& rest) {
        first.insert(first.end(), rest.begin(), rest.end());
        return first;
    };
    const std::vector<std::tuple<const char*, std::function<void(RecordingSystem&)>, MoveOutcome, Steps>> rows{
        {"already in /Applications", [](auto& s) { s.bundle = kDest; }, MoveOutcome::Stay, {}},
        {"in a folder named Applications", [](auto& s) { s.bundle = "/Volumes/X/Applications/Glidemark.app"; },
         MoveOutcome::Stay, {}},
        {"Do Not Move", [](auto& s) { s.answers = {false}; }, MoveOutcome::Stay, {kAsk}},
        {"beside a folder named /Applications",
         [](auto& s) { s.bundle = "/Applications Old/Glidemark.app", s.answers = {false}; }, MoveOutcome::Stay, {kAsk}},
        {"plain copy", [](auto&) {}, MoveOutcome::Relaunch, then({kAsk, "copy " + kSource + " " + kDest}, kFinish)},
        {"older copy goes to the Trash", [](auto& s) { s.existing.insert(kDest), s.writable.insert(kDest); },
         MoveOutcome::Relaunch, then({kAsk, "trash " + kDest, "copy " + kSource + " " + kDest}, kFinish)},
        {"a copy runs from there",
         [](auto& s) { s.existing.insert(kDest), s.writable.insert(kDest), s.running.insert(kDest); },
         MoveOutcome::BroughtForward, {kAsk, "open " + kDest}},
        {"password cancelled, then Do Not Move",
         [](auto& s) { s.writable.clear(), s.answers = {true, false}, s.privileged = {MoverSystem::CopyResult::Cancelled}; },
         MoveOutcome::Stay, {kAskAdmin, "run /usr/bin/osascript " + kDest, kAskAdmin}},
        {"privileged copy fails", [](auto& s) { s.writable.clear(), s.privileged = {MoverSystem::CopyResult::Failed}; },
         MoveOutcome::Terminate, {kAskAdmin, "run /usr/bin/osascript " + kDest}},
        {"privileged copy", readOnly, MoveOutcome::Relaunch, then({kAskAdmin, "run /usr/bin/osascript " + kDest}, kFinish)},
    };
    for (const auto& [name, setUp, outcome, journal] : rows) {
        RecordingSystem system;
        setUp(system);
        EXPECT_EQ(moveToApplicationsFolderIfNecessary(system), outcome) << name;
        EXPECT_THAT(system.journal, ElementsAreArray(journal)) << name;
    }
}

TEST(BundleMoverTest, TheFolderWithFewestEntriesTakesTheCopyAndPathsReachTheShellOnlyAsArguments) {
    EXPECT_EQ(chooseDestinationFolder({{"/Applications", 40}, {"/System/Applications", 0}, {"/Users/me/Applications", 3},
                                       {"/Network/Applications", 3}}),
              "/Users/me/Applications");
    EXPECT_EQ(chooseDestinationFolder({{"/System/Applications", 0}}), "");

    const std::string hostile = "/Users/me/Downloads/x'; rm -rf ~; '.app";
    const auto copy = privilegedCopyCommand(hostile, kDest);
    ASSERT_EQ(copy.size(), 9u);
    EXPECT_EQ(copy[7], hostile);
    for (std::size_t i = 0; i < 7; ++i) EXPECT_THAT(copy[i], ::testing::Not(HasSubstr("rm -rf ~"))) << i;
    EXPECT_EQ(relaunchCommand(7, hostile).back(), hostile);
}

}  // namespace
}  // namespace gm::app::macos
