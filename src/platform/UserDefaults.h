#pragma once
// Key/value storage of the user's preferences. A value is an opaque byte string
// (the settings are stored as the UTF-8 bytes of one JSON document).
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace gm::platform {

class UserDefaults {
public:
    virtual ~UserDefaults() = default;
    virtual std::optional<std::string> data(const std::string& key) const = 0;
    // Returns false when the value could not be stored; the caller keeps its
    // value in memory and the previous stored value stays as it was.
    virtual bool setData(const std::string& key, const std::string& bytes) = 0;
    // Where the value of `key` lives, for messages to the user (a file path for a file store).
    virtual std::string locationOf(const std::string& key) const { return key; }
};

class MemoryUserDefaults final : public UserDefaults {
public:
    std::optional<std::string> data(const std::string& key) const override;
    bool setData(const std::string& key, const std::string& bytes) override;
    int writeCount() const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string> values_;
    int writes_ = 0;
};

}  // namespace gm::platform
