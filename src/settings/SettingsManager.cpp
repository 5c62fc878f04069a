#include "settings/SettingsManager.h"

#include <cmath>
#include <ctime>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "settings/SettingsCodec.h"

namespace gm::settings {

SettingsManager& SettingsManager::shared() {
    // Never destroyed: exceptions held elsewhere may still run their store hook at exit.
    static SettingsManager* const instance = [] {
        auto& platform = platform::current();
        return new SettingsManager(platform.userDefaults(), platform.logger(), platform.clock());
    }();
    return *instance;
}

SettingsManager::SettingsManager(platform::UserDefaults& defaults, platform::Logger& logger,
                                 const platform::Clock& clock)
    : key_(kKey), defaults_(defaults), logger_(logger), clock_(clock), anchor_(std::make_shared<Anchor>(Anchor{this})) {
    logger_.info("Module initialized: SettingsManager");

    GlidemarkSettings initial;
    if (auto stored = defaults_.data(key_)) {
        auto result = decode(*stored);
        if (result) {
            initial = std::move(*result.settings);
        } else {
            // Defaults apply and nothing is written now; the document is put
            // aside by the first save so that a hand edit with one typo is not lost.
            undecodableDocument_ = std::move(*stored);
            undecodableReason_ = std::move(result.error);
        }
    }
    adopt(initial);
    current_ = std::make_shared<const GlidemarkSettings>(std::move(initial));
}

SettingsManager::~SettingsManager() {
    std::lock_guard write(writeMutex_);
    anchor_.reset();
}

std::shared_ptr<const GlidemarkSettings> SettingsManager::snapshot() const {
    std::lock_guard lock(mutex_);
    return current_;
}

GlidemarkSettings SettingsManager::settings() const { return *snapshot(); }

void SettingsManager::setSettings(GlidemarkSettings value) {
    std::lock_guard write(writeMutex_);
    adopt(value);
    announce(value);
    auto next = std::make_shared<const GlidemarkSettings>(std::move(value));
    {
        std::lock_guard lock(mutex_);
        current_.swap(next);
    }
    next.reset();  // the old record is released outside the lock
    save();
}

AppSettings SettingsManager::appSettings() const { return snapshot()->appSettings; }

void SettingsManager::setAppSettings(AppSettings value) {
    std::lock_guard write(writeMutex_);
    GlidemarkSettings next = *snapshot();
    next.appSettings = std::move(value);
    setSettings(std::move(next));
}

ScrollBase SettingsManager::scrollBase() const { return snapshot()->scrollBase; }

void SettingsManager::setScrollBase(ScrollBase value) {
    std::lock_guard write(writeMutex_);
    GlidemarkSettings next = *snapshot();
    next.scrollBase = value;
    setSettings(std::move(next));
}

ScrollAdvanced SettingsManager::scrollAdvanced() const { return snapshot()->scrollAdvanced; }

void SettingsManager::setScrollAdvanced(ScrollAdvanced value) {
    std::lock_guard write(writeMutex_);
    GlidemarkSettings next = *snapshot();
    next.scrollAdvanced = std::move(value);
    setSettings(std::move(next));
}

bool SettingsManager::save() {
    std::lock_guard write(writeMutex_);
    auto current = snapshot();
    auto bytes = encode(*current);
    if (!bytes) {
        logger_.error("Settings not stored: a number in them is not finite; the stored settings stay as they were");
        return false;
    }
    if (undecodableDocument_ && !keepUndecodableDocument()) return false;
    if (!defaults_.setData(key_, *bytes)) {
        logger_.error("Settings could not be stored under " + defaults_.locationOf(key_));
        return false;
    }
    return true;
}

bool SettingsManager::keepUndecodableDocument() {
    std::string base = invalidDocumentKey(clock_.wallTime());
    std::string backupKey = base;
    // Never put one kept document over another that differs from it.
    for (int n = 2;; ++n) {
        auto existing = defaults_.data(backupKey);
        if (!existing || *existing == *undecodableDocument_) break;
        backupKey = base + "-" + std::to_string(n);
    }
    std::string location = defaults_.locationOf(backupKey);
    if (!defaults_.setData(backupKey, *undecodableDocument_)) {
        // Better to store nothing than to overwrite the only copy.
        logger_.error("Stored settings could not be read (" + undecodableReason_ + ") and could not be kept as " +
                      location + "; they are left in place and the new settings are not stored");
        return false;
    }
    logger_.info("Stored settings could not be read (" + undecodableReason_ + "); keeping them as " + location);
    undecodableDocument_.reset();
    undecodableReason_.clear();
    return true;
}

std::string SettingsManager::invalidDocumentKey(double wallTime) {
    std::time_t seconds = 0;
    if (std::isfinite(wallTime) && wallTime > 0 && wallTime < 253402300800.0)  // before the year 10000
        seconds = static_cast<std::time_t>(std::floor(wallTime));
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    return std::string(kKey) + ".invalid-" + stamp;
}

SettingsManager::ObserverId SettingsManager::addObserver(Observer observer) {
    std::lock_guard lock(observersMutex_);
    ObserverId id = nextObserverId_++;
    observers_.emplace(id, std::move(observer));
    return id;
}

void SettingsManager::removeObserver(ObserverId id) {
    std::lock_guard lock(observersMutex_);
    observers_.erase(id);
}

void SettingsManager::announce(const GlidemarkSettings& newValue) {
    // Observers may add or remove observers, so call copies outside the lock.
    std::vector<Observer> observers;
    {
        std::lock_guard lock(observersMutex_);
        observers.reserve(observers_.size());
        for (const auto& entry : observers_) observers.push_back(entry.second);
    }
    for (const auto& observer : observers) observer(newValue);
}

void SettingsManager::adopt(GlidemarkSettings& value) {
    // A change made on an exception itself stores the document, without announcing.
    std::weak_ptr<Anchor> anchor = anchor_;
    for (const auto& exception : value.appSettings.exceptionalApplication) {
        if (!exception) continue;
        exception->setStoreHook([anchor] {
            if (auto alive = anchor.lock()) alive->manager->save();
        });
    }
}

}  // namespace gm::settings
