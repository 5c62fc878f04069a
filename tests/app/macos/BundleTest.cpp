// The macOS bundle's plain rules: its property lists, its icon container and
// the move into an Applications folder, run against a system that records
// every step it is asked to take.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <set>

#include "app/macos/BundleMover.h"
#include "app/macos/IconFamily.h"
#include "app/macos/PropertyList.h"

namespace gm::app::macos {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

TEST(PropertyListTest, InfoPlistMakesAMenuBarAgentForMacOS11) {
    const auto plist = infoPlist({"com.Pellmar.Glidemark", "Glidemark", "Glidemark", "1.2.3", "Glidemark.icns", "© us"});
    ASSERT_TRUE(plist);
    EXPECT_THAT(*plist, HasSubstr("<key>LSUIElement</key>\n\t<true/>\n"));
    EXPECT_THAT(*plist, HasSubstr("<key>LSMinimumSystemVersion</key>\n\t<string>11.5</string>\n"));
    EXPECT_THAT(*plist, HasSubstr("<key>CFBundleIdentifier</key>\n\t<string>com.Pellmar.Glidemark</string>\n"));
    EXPECT_THAT(*plist, HasSubstr("<key>CFBundleIconFile</key>\n\t<string>Glidemark.icns</string>\n"));
}

TEST(PropertyListTest, LaunchAgentCarriesThePathAsOneEscapedArgumentOrNothing) {
    struct Row {
        std::string program;
        std::optional<std::string> argument;
    };
    for (const Row& row :
         {Row{"/Applications/Glidemark.app/Contents/MacOS/Glidemark",
              "\t\t<string>/Applications/Glidemark.app/Contents/MacOS/Glidemark</string>\n"},
          Row{"/Users/a&b/<x> 'y' \"z\".app", "\t\t<string>/Users/a&amp;b/&lt;x&gt; 'y' \"z\".app</string>\n"},
          Row{"/tmp/line\x01break", std::nullopt}}) {
        const auto plist = launchAgentPlist("com.Pellmar.Glidemark", row.program);
        ASSERT_EQ(plist.has_value(), row.argument.has_value()) << row.program;
        if (!plist) continue;
        EXPECT_THAT(*plist, HasSubstr("<key>ProgramArguments</key>\n\t<array>\n" + *row.argument + "\t</array>\n"));
        EXPECT_THAT(*plist, HasSubstr("<key>RunAtLoad</key>\n\t<true/>\n"));
    }
    EXPECT_EQ(launchAgentPath("/Users/me", "com.Pellmar.Glidemark"),
              "/Users/me/Library/LaunchAgents/com.Pellmar.Glidemark.plist");
}

TEST(IconFamilyTest, EntriesCarryBigEndianLengthsThatCountTheirHeaders) {
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
    std::vector<std::string> folders{"/Applications", "/Users/me/Applications"};
    std::map<std::string, std::size_t> candidates{{"/Applications", 40}, {"/System/Applications", 0}};
    std::set<std::string> existing{"/Applications"};
    std::set<std::string> writable{"/Applications"};
    std::set<std::string> running;
    std::deque<bool> answers{true};
    std::deque<CopyResult> privileged;
    std::vector<std::string> journal;

    std::string bundlePath() const override { return bundle; }
    std::vector<std::string> applicationsFolders() const override { return folders; }
    std::vector<std::string> destinationCandidates() const override {
        std::vector<std::string> paths;
        for (const auto& [path, entries] : candidates) paths.push_back(path);
        return paths;
    }
    bool isFolder(const std::string& path) const override { return candidates.contains(path); }
    std::size_t entryCount(const std::string& folder) const override { return candidates.at(folder); }
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
        std::string line = "spawn";
        for (const std::string& arg : command) line += " " + arg;
        journal.push_back(line);
        return true;
    }
    bool isRunningFrom(const std::string& path) const override { return running.contains(path); }
    void open(const std::string& path) override { journal.push_back("open " + path); }
    bool moveToTrash(const std::string& path) override { return record("trash " + path); }
    bool copy(const std::string& from, const std::string& to) override { return record("copy " + from + " " + to); }
    bool remove(const std::string& path) override { return record("remove " + path); }
    void movedTo(const std::string& path) override { record("moved " + path); }

private:
    bool record(std::string line) {
        journal.push_back(std::move(line));
        return true;
    }
};

const std::string kAsk = "alert folder in order to work properly.";
const std::string kAskAdmin = kAsk + " You need to authenticate with your administrator password to complete this step.";
const std::string kDest = "/Applications/Glidemark.app";
const std::string kRelaunch =
    "spawn /bin/sh -c (while /bin/kill -0 \"$1\" >/dev/null 2>&1; do /bin/sleep 0.1; done; /usr/bin/open \"$2\") & sh "
    "321 " + kDest;

TEST(BundleMoverTest, EachSituationTakesExactlyItsSteps) {
    struct Row {
        const char* name;
        std::function<void(RecordingSystem&)> setUp;
        MoveOutcome outcome;
        std::vector<std::string> journal;
    };
    const std::vector<Row> rows{
        {"already in /Applications", [](auto& s) { s.bundle = kDest; }, MoveOutcome::Stay, {}},
        {"in a folder named Applications", [](auto& s) { s.bundle = "/Volumes/X/Applications/Glidemark.app"; },
         MoveOutcome::Stay, {}},
        {"Do Not Move", [](auto& s) { s.answers = {false}; }, MoveOutcome::Stay, {kAsk}},
        {"beside a folder named /Applications",
         [](auto& s) {
             s.bundle = "/Applications Old/Glidemark.app";
             s.answers = {false};
         },
         MoveOutcome::Stay,
         {kAsk}},
        {"plain copy",
         [](auto&) {},
         MoveOutcome::Relaunch,
         {kAsk, "copy /Users/me/Downloads/Glidemark.app " + kDest, "moved " + kDest,
          "remove /Users/me/Downloads/Glidemark.app",
          "run /usr/bin/xattr " + kDest, kRelaunch}},
        {"older copy goes to the Trash",
         [](auto& s) { s.existing.insert(kDest); s.writable.insert(kDest); },
         MoveOutcome::Relaunch,
         {kAsk, "trash " + kDest, "copy /Users/me/Downloads/Glidemark.app " + kDest, "moved " + kDest,
          "remove /Users/me/Downloads/Glidemark.app", "run /usr/bin/xattr " + kDest, kRelaunch}},
        {"a copy runs from there",
         [](auto& s) { s.existing.insert(kDest); s.writable.insert(kDest); s.running.insert(kDest); },
         MoveOutcome::BroughtForward,
         {kAsk, "open " + kDest}},
        {"password cancelled, then Do Not Move",
         [](auto& s) {
             s.writable.clear();
             s.answers = {true, false};
             s.privileged = {MoverSystem::CopyResult::Cancelled};
         },
         MoveOutcome::Stay,
         {kAskAdmin, "run /usr/bin/osascript " + kDest, kAskAdmin}},
        {"privileged copy fails",
         [](auto& s) { s.writable.clear(); s.privileged = {MoverSystem::CopyResult::Failed}; },
         MoveOutcome::Terminate,
         {kAskAdmin, "run /usr/bin/osascript " + kDest}},
        {"privileged copy",
         [](auto& s) { s.writable.clear(); },
         MoveOutcome::Relaunch,
         {kAskAdmin, "run /usr/bin/osascript " + kDest, "moved " + kDest, "remove /Users/me/Downloads/Glidemark.app",
          "run /usr/bin/xattr " + kDest, kRelaunch}},
    };
    for (const Row& row : rows) {
        RecordingSystem system;
        row.setUp(system);
        EXPECT_EQ(moveToApplicationsFolderIfNecessary(system), row.outcome) << row.name;
        EXPECT_THAT(system.journal, ElementsAreArray(row.journal)) << row.name;
    }
}

TEST(BundleMoverTest, TheFolderWithFewestEntriesTakesTheCopy) {
    EXPECT_EQ(chooseDestinationFolder({{"/Applications", 40}, {"/System/Applications", 0}, {"/Users/me/Applications", 3},
                                       {"/Network/Applications", 3}}),
              "/Users/me/Applications");
    EXPECT_EQ(chooseDestinationFolder({{"/System/Applications", 0}}), "");
}

TEST(BundleMoverTest, PathsReachTheShellOnlyAsArguments) {
    const std::string hostile = "/Users/me/Downloads/x'; rm -rf ~; '.app";
    const auto copy = privilegedCopyCommand(hostile, kDest);
    ASSERT_EQ(copy.size(), 9u);
    EXPECT_EQ(copy[7], hostile);
    for (std::size_t i = 0; i < 7; ++i) EXPECT_THAT(copy[i], ::testing::Not(HasSubstr("rm -rf ~"))) << i;
    EXPECT_EQ(relaunchCommand(7, hostile).back(), hostile);
}

}  // namespace
}  // namespace gm::app::macos
