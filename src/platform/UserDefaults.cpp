#include "platform/UserDefaults.h"

namespace gm::platform {

std::optional<std::string> MemoryUserDefaults::data(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

bool MemoryUserDefaults::setData(const std::string& key, const std::string& bytes) {
    std::lock_guard lock(mutex_);
    values_[key] = bytes;
    ++writes_;
    return true;
}

int MemoryUserDefaults::writeCount() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

}  // namespace gm::platform
