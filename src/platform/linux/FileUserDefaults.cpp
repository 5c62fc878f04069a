#include "platform/linux/FileUserDefaults.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace gm::platform {

namespace {

std::string describeErrno(int error) { return std::strerror(error); }

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return "/";
}

}  // namespace

// ---- POSIX calls ------------------------------------------------------------------

int FileSystemOps::makeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0700) == 0 ? 0 : errno;
}

int FileSystemOps::createTemp(std::string& pathTemplate, int& fd) {
    fd = ::mkostemp(pathTemplate.data(), O_CLOEXEC);
    return fd >= 0 ? 0 : errno;
}

int FileSystemOps::writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

int FileSystemOps::syncFile(int fd) { return ::fsync(fd) == 0 ? 0 : errno; }

int FileSystemOps::closeFile(int fd) { return ::close(fd) == 0 ? 0 : errno; }

int FileSystemOps::renameFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int FileSystemOps::syncFolder(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int result = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return result;
}

int FileSystemOps::removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

std::string describeReadError(int error) {
    return error == EFBIG ? "larger than " + std::to_string(kMaxStoredBytes >> 20) + " MiB" : std::strerror(error);
}

int FileSystemOps::readFile(const std::string& path, std::string& out, std::size_t limit) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    out.clear();
    char buffer[16384];
    int result = 0;
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            result = errno;
            break;
        }
        if (n == 0) break;
        if (static_cast<std::size_t>(n) > limit - out.size()) {
            result = EFBIG;
            out.clear();
            break;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return result;
}

// ---- the store -----------------------------------------------------------------------

FileUserDefaults::FileUserDefaults(std::string folder, Logger& logger, std::unique_ptr<FileSystemOps> ops)
    : folder_(std::move(folder)), logger_(logger), ops_(ops ? std::move(ops) : std::make_unique<FileSystemOps>()) {
    while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
}

std::string FileUserDefaults::defaultFolder() {
    // Relative values are to be ignored, like an unset variable.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base = (config && config[0] == '/') ? std::string(config) : homeFolder() + "/.config";
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/glidemark";
}

std::string FileUserDefaults::pathFor(const std::string& key) const { return folder_ + "/" + key + ".json"; }

bool FileUserDefaults::validKey(const std::string& key) const {
    // The key becomes a file name: no folders, no hidden names (temp files are hidden).
    if (key.empty() || key.front() == '.' || key.find('/') != std::string::npos ||
        key.find('\0') != std::string::npos) {
        logger_.error("Not a usable user-defaults key: \"" + key + "\"");
        return false;
    }
    return true;
}

std::optional<std::string> FileUserDefaults::data(const std::string& key) const {
    if (!validKey(key)) return std::nullopt;
    std::string bytes;
    std::string path = pathFor(key);
    int error = ops_->readFile(path, bytes, kMaxStoredBytes);
    std::lock_guard lock(unreadableMutex_);
    if (error == ENOENT || error == ENOTDIR) {
        unreadable_.erase(key);
        return std::nullopt;
    }
    if (error != 0) {
        logger_.error("Cannot read " + path + ": " + describeReadError(error) + "; it will not be replaced");
        unreadable_.insert(key);
        return std::nullopt;
    }
    unreadable_.erase(key);
    return bytes;
}

bool FileUserDefaults::ensureFolder() {
    // Create each missing level, like mkdir -p, all private to the user.
    std::size_t next = 1;
    for (;;) {
        std::size_t slash = folder_.find('/', next);
        std::string level = folder_.substr(0, slash);
        if (!level.empty()) {
            int error = ops_->makeFolder(level);
            if (error != 0 && error != EEXIST) {
                logger_.error("Cannot create the settings folder " + level + ": " + describeErrno(error));
                return false;
            }
        }
        if (slash == std::string::npos) break;
        next = slash + 1;
    }
    return true;
}

bool FileUserDefaults::setData(const std::string& key, const std::string& bytes) {
    if (!validKey(key)) return false;
    const std::string path = pathFor(key);
    {
        std::lock_guard lock(unreadableMutex_);
        if (unreadable_.count(key)) {
            logger_.error("Not storing " + path + ": the file there could not be read and is left as it is");
            return false;
        }
    }
    std::lock_guard lock(writeMutex_);
    if (!ensureFolder()) return false;

    // Same folder as the target, so the rename cannot cross file systems.
    std::string temp = folder_ + "/." + key + ".json.XXXXXX";
    int fd = -1;
    if (int error = ops_->createTemp(temp, fd); error != 0) {
        logger_.error("Cannot store " + path + ": cannot create a file in " + folder_ + ": " + describeErrno(error));
        return false;
    }
    auto abandon = [&](const char* what, int error) {
        logger_.error("Cannot store " + path + ": " + what + ": " + describeErrno(error));
        if (fd >= 0) ops_->closeFile(fd);
        ops_->removeFile(temp);
        return false;
    };
    if (int error = ops_->writeAll(fd, bytes); error != 0) return abandon("write failed", error);
    // The data must be on disk before the rename makes it the document, or a
    // power cut could leave an empty file under the real name.
    if (int error = ops_->syncFile(fd); error != 0) return abandon("sync failed", error);
    int closeError = ops_->closeFile(fd);
    fd = -1;
    if (closeError != 0) return abandon("close failed", closeError);
    if (int error = ops_->renameFile(temp, path); error != 0) return abandon("rename failed", error);
    // The new document is in place; syncing the folder makes the rename itself durable.
    if (int error = ops_->syncFolder(folder_); error != 0)
        logger_.error("Stored " + path + " but could not sync its folder: " + describeErrno(error));
    return true;
}

}  // namespace gm::platform
