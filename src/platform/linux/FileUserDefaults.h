#pragma once
// User defaults kept as one file per key, "<key>.json" in Glidemark's config
// folder, holding exactly the stored bytes so that a user can read and edit
// them. A write replaces the file atomically and durably: a crash at any
// point leaves either the old or the new document, never a torn one.
#include <cstddef>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "platform/Log.h"
#include "platform/UserDefaults.h"

namespace gm::platform {

// Stored values are small documents (the settings are a few KB). A larger
// file is not read at all: a wrong file, or a link to /dev/zero, must not
// exhaust memory.
inline constexpr std::size_t kMaxStoredBytes = std::size_t{4} << 20;

// What went wrong with FileSystemOps::readFile, for a message.
std::string describeReadError(int error);

// The file-system calls one write is made of, in the order they happen. Tests
// replace them to fail or "crash" at any step; the defaults are the POSIX calls.
// Each returns 0 or an errno value.
class FileSystemOps {
public:
    virtual ~FileSystemOps() = default;
    virtual int makeFolder(const std::string& path);                      // one level, mode 0700
    virtual int createTemp(std::string& pathTemplate, int& fd);           // "...XXXXXX" filled in
    virtual int writeAll(int fd, std::string_view bytes);
    virtual int syncFile(int fd);
    virtual int closeFile(int fd);
    virtual int renameFile(const std::string& from, const std::string& to);
    virtual int syncFolder(const std::string& path);
    virtual int removeFile(const std::string& path);
    // ENOENT when absent, EFBIG when it holds more than `limit` bytes.
    virtual int readFile(const std::string& path, std::string& out, std::size_t limit);
};

class FileUserDefaults final : public UserDefaults {
public:
    // `folder` is created (with its missing parents, mode 0700) on the first write.
    explicit FileUserDefaults(std::string folder, Logger& logger = log(),
                              std::unique_ptr<FileSystemOps> ops = nullptr);

    // $XDG_CONFIG_HOME/glidemark, or ~/.config/glidemark when that is unset or not absolute.
    static std::string defaultFolder();

    std::optional<std::string> data(const std::string& key) const override;
    bool setData(const std::string& key, const std::string& bytes) override;
    std::string locationOf(const std::string& key) const override { return pathFor(key); }

    const std::string& folder() const { return folder_; }
    std::string pathFor(const std::string& key) const;

private:
    bool ensureFolder();
    bool validKey(const std::string& key) const;

    std::string folder_;
    Logger& logger_;
    std::unique_ptr<FileSystemOps> ops_;
    std::mutex writeMutex_;
    // Keys whose file exists but could not be read: never replaced, so that a
    // passing permission or disk problem cannot cost the user their settings.
    mutable std::mutex unreadableMutex_;
    mutable std::set<std::string> unreadable_;
};

}  // namespace gm::platform
