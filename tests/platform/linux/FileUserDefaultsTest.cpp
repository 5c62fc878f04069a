#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/linux/FileUserDefaults.h"
#include "platform/linux/JournalLogSink.h"
#include "settings/ManagerTestSupport.h"
#include "settings/SettingsCodec.h"
#include "settings/SettingsManager.h"

namespace gm::platform {
namespace {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "glidemark-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::string readAll(const fs::path& path) {
    std::string bytes;
    FileSystemOps().readFile(path.string(), bytes);
    return bytes;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Real calls that record their order, and from a chosen step on act like a
// process that died there: every later call fails and changes nothing.
class CrashingOps final : public FileSystemOps {
public:
    explicit CrashingOps(int crashAt = -1) : crashAt_(crashAt) {}
    std::vector<std::string> calls;

    int makeFolder(const std::string& p) override { return step("mkdir", [&] { return FileSystemOps::makeFolder(p); }); }
    int createTemp(std::string& t, int& fd) override {
        return step("create", [&] { return FileSystemOps::createTemp(t, fd); });
    }
    int writeAll(int fd, std::string_view b) override {
        return step("write", [&] { return FileSystemOps::writeAll(fd, b); });
    }
    int syncFile(int fd) override { return step("fsync", [&] { return FileSystemOps::syncFile(fd); }); }
    int closeFile(int fd) override {
        // A dead process's descriptors are closed by the kernel; do it without counting a step.
        if (dead()) {
            FileSystemOps::closeFile(fd);
            return EIO;
        }
        return step("close", [&] { return FileSystemOps::closeFile(fd); });
    }
    int renameFile(const std::string& f, const std::string& t) override {
        return step("rename", [&] { return FileSystemOps::renameFile(f, t); });
    }
    int syncFolder(const std::string& p) override { return step("fsync-folder", [&] { return FileSystemOps::syncFolder(p); }); }
    int removeFile(const std::string& p) override { return step("unlink", [&] { return FileSystemOps::removeFile(p); }); }

    bool dead() const { return crashAt_ >= 0 && steps_ >= crashAt_; }

private:
    template <typename F>
    int step(const char* name, F call) {
        if (dead()) return EIO;
        ++steps_;
        calls.push_back(name);
        return call();
    }
    int crashAt_;
    int steps_ = 0;
};

class FileUserDefaultsTest : public ::testing::Test {
protected:
    TempFolder temp;
    MemoryLogSink sink;
    Logger logger{"test", "general", &sink};
    fs::path folder = temp.path() / "config" / "glidemark";
};

TEST_F(FileUserDefaultsTest, OneHumanReadableFilePerKeyInAPrivateFolder) {
    FileUserDefaults store(folder.string(), logger);
    EXPECT_FALSE(store.data("glidemarkSettings"));
    EXPECT_FALSE(fs::exists(folder)) << "reading creates nothing";

    ASSERT_TRUE(store.setData("glidemarkSettings", "{\"a\":1}\n"));
    EXPECT_EQ(readAll(folder / "glidemarkSettings.json"), "{\"a\":1}\n");
    EXPECT_EQ(store.data("glidemarkSettings"), "{\"a\":1}\n");
    EXPECT_EQ(store.locationOf("glidemarkSettings"), (folder / "glidemarkSettings.json").string());
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(fs::status(folder.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);

    ASSERT_TRUE(store.setData("glidemarkSettings", ""));
    EXPECT_EQ(store.data("glidemarkSettings"), "") << "an empty value is a value";
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"glidemarkSettings.json"}) << "no temp files left";
}

TEST_F(FileUserDefaultsTest, KeysThatAreNotPlainFileNamesAreRefused) {
    FileUserDefaults store(folder.string(), logger);
    for (const char* key : {"", "../escape", "a/b", ".hidden"}) {
        EXPECT_FALSE(store.setData(key, "x")) << key;
        EXPECT_FALSE(store.data(key)) << key;
    }
    EXPECT_FALSE(fs::exists(temp.path() / "escape.json"));
}

TEST_F(FileUserDefaultsTest, UnwritableFolderFailsWithAnError) {
    // A file where a folder should be stops even root.
    std::ofstream(temp.path() / "config") << "not a folder";
    FileUserDefaults store(folder.string(), logger);
    EXPECT_FALSE(store.setData("glidemarkSettings", "{}"));
    EXPECT_FALSE(store.data("glidemarkSettings"));
    ASSERT_FALSE(sink.lines().empty());
    EXPECT_EQ(sink.lines().back().level, LogLevel::Error);
    EXPECT_NE(sink.lines().back().message.find("Cannot create the settings folder"), std::string::npos);
}

TEST_F(FileUserDefaultsTest, DataReachesTheDiskBeforeTheRenameAndTheRenameIsSynced) {
    auto ops = std::make_unique<CrashingOps>();
    auto* calls = &ops->calls;
    FileUserDefaults store(folder.string(), logger, std::move(ops));
    ASSERT_TRUE(store.setData("k", "v"));
    // mkdir once per level of the folder path, then the write itself.
    std::vector<std::string> writeSteps(calls->end() - 6, calls->end());
    EXPECT_EQ(writeSteps, (std::vector<std::string>{"create", "write", "fsync", "close", "rename", "fsync-folder"}));
}

TEST_F(FileUserDefaultsTest, ACrashAtAnyStepLeavesTheOldOrTheNewDocument) {
    const std::string oldDocument = settings::encode(settings::GlidemarkSettings{}).value();
    settings::GlidemarkSettings changed;
    changed.scrollAdvanced.step = 45;
    const std::string newDocument = settings::encode(changed).value();

    // Count the steps of a full write first.
    CrashingOps counter;
    {
        TempFolder scratch;
        auto ops = std::make_unique<CrashingOps>();
        auto* probe = ops.get();
        FileUserDefaults store((scratch.path() / "g").string(), logger, std::move(ops));
        ASSERT_TRUE(store.setData("glidemarkSettings", newDocument));
        counter.calls = probe->calls;
    }
    const int total = static_cast<int>(counter.calls.size());
    ASSERT_GE(total, 6);

    for (int crashAt = 0; crashAt <= total; ++crashAt) {
        SCOPED_TRACE("crash before step " + std::to_string(crashAt));
        TempFolder run;
        const std::string where = (run.path() / "g").string();
        ASSERT_TRUE(FileUserDefaults(where, logger).setData("glidemarkSettings", oldDocument));

        FileUserDefaults dying(where, logger, std::make_unique<CrashingOps>(crashAt));
        bool reported = dying.setData("glidemarkSettings", newDocument);

        // What the next start finds.
        FileUserDefaults restarted(where, logger);
        auto found = restarted.data("glidemarkSettings");
        ASSERT_TRUE(found);
        EXPECT_TRUE(*found == oldDocument || *found == newDocument) << *found;
        EXPECT_TRUE(settings::decode(*found));
        if (reported) {
            EXPECT_EQ(*found, newDocument) << "success was reported";
        }
        const bool renamed = crashAt > static_cast<int>(std::find(counter.calls.begin(), counter.calls.end(),
                                                                  "rename") - counter.calls.begin());
        EXPECT_EQ(*found, renamed ? newDocument : oldDocument);

        // Leftover temp files do not get in the way of the next write.
        ASSERT_TRUE(restarted.setData("glidemarkSettings", newDocument));
        EXPECT_EQ(restarted.data("glidemarkSettings"), newDocument);
    }
}

// Fails one kind of call with an errno, like a full disk.
class FailingOps final : public FileSystemOps {
public:
    explicit FailingOps(std::string which) : which_(std::move(which)) {}
    int writeAll(int fd, std::string_view b) override {
        return which_ == "write" ? ENOSPC : FileSystemOps::writeAll(fd, b);
    }
    int syncFile(int fd) override { return which_ == "fsync" ? EIO : FileSystemOps::syncFile(fd); }
    int renameFile(const std::string& f, const std::string& t) override {
        return which_ == "rename" ? EXDEV : FileSystemOps::renameFile(f, t);
    }

private:
    std::string which_;
};

TEST_F(FileUserDefaultsTest, AFailedWriteKeepsTheOldDocumentAndCleansUp) {
    for (const char* which : {"write", "fsync", "rename"}) {
        SCOPED_TRACE(which);
        ASSERT_TRUE(FileUserDefaults(folder.string(), logger).setData("k", "old"));
        FileUserDefaults failing(folder.string(), logger, std::make_unique<FailingOps>(which));
        EXPECT_FALSE(failing.setData("k", "new"));
        EXPECT_EQ(failing.data("k"), "old");
        EXPECT_EQ(namesIn(folder), std::vector<std::string>{"k.json"});
        EXPECT_EQ(sink.lines().back().level, LogLevel::Error);
    }
}

TEST_F(FileUserDefaultsTest, UndecodableSettingsFileIsKeptBesideTheNewOne) {
    FileUserDefaults store(folder.string(), logger);
    const std::string handEdited = R"({"appSettings": {"launchAtLogin": true,}})";
    ASSERT_TRUE(store.setData("glidemarkSettings", handEdited));
    settings::test::FixedClock clock;
    settings::SettingsManager manager(store, logger, clock);
    manager.setScrollBase(settings::ScrollBase{false, true, false, true});

    EXPECT_EQ(readAll(folder / "glidemarkSettings.invalid-20261206T201500Z.json"), handEdited);
    EXPECT_TRUE(settings::decode(readAll(folder / "glidemarkSettings.json")));
    EXPECT_TRUE(sink.contains("Stored settings could not be read (not valid JSON: parse error at line 1, column 40: "
                              "syntax error while parsing object key - unexpected '}'; expected string literal); "
                              "keeping them as " +
                              (folder / "glidemarkSettings.invalid-20261206T201500Z.json").string()))
        << sink.lines().back().message;
}

TEST(FileUserDefaultsFolder, FollowsXdgConfigHome) {
    const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
    const char* savedHome = std::getenv("HOME");
    std::string xdg = savedXdg ? savedXdg : "", home = savedHome ? savedHome : "";
    ::setenv("HOME", "/home/someone", 1);
    ::setenv("XDG_CONFIG_HOME", "/cfg/", 1);
    EXPECT_EQ(FileUserDefaults::defaultFolder(), "/cfg/glidemark");
    ::setenv("XDG_CONFIG_HOME", "relative/cfg", 1);
    EXPECT_EQ(FileUserDefaults::defaultFolder(), "/home/someone/.config/glidemark");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(FileUserDefaults::defaultFolder(), "/home/someone/.config/glidemark");
    savedXdg ? ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    savedHome ? ::setenv("HOME", home.c_str(), 1) : ::unsetenv("HOME");
}

TEST(SystemLogSink, JournalOnlyWhenItsSocketExists) {
    TempFolder temp;
    EXPECT_NE(dynamic_cast<StderrLogSink*>(makeSystemLogSink((temp.path() / "none").string()).get()), nullptr);
    std::ofstream(temp.path() / "file") << "";
    EXPECT_NE(dynamic_cast<StderrLogSink*>(makeSystemLogSink((temp.path() / "file").string()).get()), nullptr);

    const std::string socketPath = (temp.path() / "socket").string();
    int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_NE(dynamic_cast<JournalLogSink*>(makeSystemLogSink(socketPath).get()), nullptr);
    ::close(fd);
}

}  // namespace
}  // namespace gm::platform
