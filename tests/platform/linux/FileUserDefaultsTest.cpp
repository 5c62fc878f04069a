#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/linux/FileUserDefaults.h"
#include "settings/ManagerTestSupport.h"
#include "settings/SettingsCodec.h"
#include "settings/SettingsManager.h"

namespace gm::platform {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::string bytes;
    FileSystemOps().readFile(path.string(), bytes, kMaxStoredBytes);
    return bytes;
}

// Real calls that record their order and, from a chosen step on, act like a
// process that died there: later calls change nothing.
class CrashingOps final : public FileSystemOps {
public:
    explicit CrashingOps(std::size_t crashAt = SIZE_MAX) : crashAt_(crashAt) {}
    std::vector<std::string> calls;
    int makeFolder(const std::string& p) override { return step("mkdir", [&] { return FileSystemOps::makeFolder(p); }); }
    int createTemp(std::string& t, int& fd) override { return step("create", [&] { return FileSystemOps::createTemp(t, fd); }); }
    int writeAll(int fd, std::string_view b) override { return step("write", [&] { return FileSystemOps::writeAll(fd, b); }); }
    int syncFile(int fd) override { return step("fsync", [&] { return FileSystemOps::syncFile(fd); }); }
    int closeFile(int fd) override {
        if (calls.size() >= crashAt_) FileSystemOps::closeFile(fd);  // the kernel closes a dead process's files
        return step("close", [&] { return FileSystemOps::closeFile(fd); });
    }
    int renameFile(const std::string& f, const std::string& t) override { return step("rename", [&] { return FileSystemOps::renameFile(f, t); }); }
    int syncFolder(const std::string& p) override { return step("fsync-folder", [&] { return FileSystemOps::syncFolder(p); }); }
    int removeFile(const std::string& p) override { return step("unlink", [&] { return FileSystemOps::removeFile(p); }); }

private:
    template <typename F>
    int step(const char* name, F call) {
        if (calls.size() >= crashAt_) return EIO;
        calls.push_back(name);
        return call();
    }
    std::size_t crashAt_;
};

class FileUserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "glidemark-test-XXXXXX").string();
        temp = ::mkdtemp(pattern.data());
        folder = temp / "config" / "glidemark";
    }
    void TearDown() override { fs::remove_all(temp); }
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
        return names;
    }
    fs::path temp, folder;
    MemoryLogSink sink;
    Logger logger{"test", "general", &sink};
};

// One file per key in a private folder, written so that a crash at any step
// leaves the old or the new document.
TEST_F(FileUserDefaultsTest, ACrashAtAnyStepLeavesTheOldOrTheNewDocument) {
    const std::string oldDocument = settings::encode({}).value();
    settings::GlidemarkSettings changed;
    changed.scrollAdvanced.step = 45;
    const std::string newDocument = settings::encode(changed).value();
    FileUserDefaults store(folder.string(), logger);
    EXPECT_FALSE(store.data("glidemarkSettings"));
    EXPECT_FALSE(store.setData("../escape", "x"));
    ASSERT_TRUE(store.setData("glidemarkSettings", oldDocument));
    EXPECT_EQ(readAll(folder / "glidemarkSettings.json"), oldDocument);
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(files(), std::vector<std::string>{"glidemarkSettings.json"});

    auto probe = std::make_unique<CrashingOps>();
    const auto& steps = probe->calls;
    FileUserDefaults recorded(folder.string(), logger, std::move(probe));
    ASSERT_TRUE(recorded.setData("glidemarkSettings", oldDocument));
    // The data is on disk before the rename makes it the document, and the rename is synced.
    const auto write = std::find(steps.begin(), steps.end(), "create");
    EXPECT_EQ(std::vector<std::string>(write, steps.end()),
              (std::vector<std::string>{"create", "write", "fsync", "close", "rename", "fsync-folder"}));
    const auto renameStep = static_cast<std::size_t>(std::find(steps.begin(), steps.end(), "rename") - steps.begin());

    for (std::size_t crashAt = 0; crashAt <= steps.size(); ++crashAt) {
        SCOPED_TRACE("crash before step " + std::to_string(crashAt));
        FileUserDefaults(folder.string(), logger).setData("glidemarkSettings", oldDocument);
        FileUserDefaults(folder.string(), logger, std::make_unique<CrashingOps>(crashAt))
            .setData("glidemarkSettings", newDocument);
        FileUserDefaults restarted(folder.string(), logger);
        EXPECT_EQ(restarted.data("glidemarkSettings"), crashAt > renameStep ? newDocument : oldDocument);
    }
    // Temp files left by the crashes are invisible to reads and harmless to writes.
    EXPECT_GT(files().size(), 1U);
    ASSERT_TRUE(store.setData("glidemarkSettings", newDocument));
    EXPECT_EQ(store.data("glidemarkSettings"), newDocument);
}

// Fails every write, like a full disk.
class FullDiskOps final : public FileSystemOps {
    int writeAll(int, std::string_view) override { return ENOSPC; }
};

TEST_F(FileUserDefaultsTest, AFailedWriteKeepsTheOldDocumentAndCleansUp) {
    ASSERT_TRUE(FileUserDefaults(folder.string(), logger).setData("k", "old"));
    FileUserDefaults full(folder.string(), logger, std::make_unique<FullDiskOps>());
    EXPECT_FALSE(full.setData("k", "new"));
    EXPECT_EQ(full.data("k"), "old");
    EXPECT_EQ(files(), std::vector<std::string>{"k.json"});
    EXPECT_EQ(sink.lines().back().level, LogLevel::Error);
}

// Fails every read of an existing file, like a permission or disk problem.
class UnreadableOps final : public FileSystemOps {
    int readFile(const std::string&, std::string&, std::size_t) override { return EIO; }
};

TEST_F(FileUserDefaultsTest, AFileThatCouldNotBeReadIsNeverReplaced) {
    // A read error, and a file far larger than any stored document (read, it would only exhaust memory).
    for (const bool oversized : {false, true}) {
        ASSERT_TRUE(FileUserDefaults(folder.string(), logger).setData("k", "precious"));
        if (oversized) fs::resize_file(folder / "k.json", kMaxStoredBytes + 1);
        FileUserDefaults store(folder.string(), logger, oversized ? nullptr : std::make_unique<UnreadableOps>());
        EXPECT_FALSE(store.data("k")) << oversized;
        EXPECT_FALSE(store.setData("k", "defaults"));
        EXPECT_EQ(fs::file_size(folder / "k.json"), oversized ? kMaxStoredBytes + 1 : 8u);
    }
}

TEST_F(FileUserDefaultsTest, UndecodableSettingsFileIsKeptBesideTheNewOne) {
    FileUserDefaults store(folder.string(), logger);
    const std::string handEdited = R"({"appSettings": {"launchAtLogin": true,}})";
    ASSERT_TRUE(store.setData("glidemarkSettings", handEdited));
    settings::test::FixedClock clock;
    settings::SettingsManager manager(store, logger, clock);
    manager.setScrollBase(settings::ScrollBase{false, true, false, true});

    const fs::path kept = folder / "glidemarkSettings.invalid-20261206T201500Z.json";
    EXPECT_EQ(readAll(kept), handEdited);
    EXPECT_TRUE(settings::decode(readAll(folder / "glidemarkSettings.json")));
    EXPECT_EQ(sink.lines().back().message,
              "Stored settings could not be read (not valid JSON: parse error at line 1, column 40: syntax error while "
              "parsing object key - unexpected '}'; expected string literal); keeping them as " + kept.string());
}

}  // namespace
}  // namespace gm::platform
