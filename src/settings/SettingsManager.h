#pragma once
// The single owner of the current settings: loads them on first use, announces
// every assignment to observers, and stores the whole document after it.
//
// Threads: the UI assigns on its thread while the engine reads on its own.
// Readers get an immutable snapshot (`snapshot()`), replaced whole on every
// assignment, so a read never sees half of a change. The exceptions inside a
// snapshot are the shared objects, which guard their own fields.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Log.h"
#include "platform/Services.h"
#include "platform/UserDefaults.h"
#include "settings/GlidemarkSettings.h"

namespace gm::settings {

class SettingsManager {
public:
    static constexpr const char* kKey = "glidemarkSettings";

    // The process-wide instance, on the selected platform's user defaults.
    static SettingsManager& shared();

    SettingsManager(platform::UserDefaults& defaults, platform::Logger& logger, const platform::Clock& clock);
    ~SettingsManager();
    SettingsManager(const SettingsManager&) = delete;
    SettingsManager& operator=(const SettingsManager&) = delete;

    const std::string& key() const { return key_; }

    std::shared_ptr<const GlidemarkSettings> snapshot() const;
    GlidemarkSettings settings() const;
    void setSettings(GlidemarkSettings value);

    AppSettings appSettings() const;
    void setAppSettings(AppSettings value);
    ScrollBase scrollBase() const;
    void setScrollBase(ScrollBase value);
    ScrollAdvanced scrollAdvanced() const;
    void setScrollAdvanced(ScrollAdvanced value);

    // Encodes the current record and stores it; false when nothing was stored.
    bool save();

    // Told before the new record replaces the old one; receives the new record.
    // Observers run on the assigning thread while that assignment holds the
    // write lock: they may read or assign again, but must not wait for another
    // thread that assigns.
    using Observer = std::function<void(const GlidemarkSettings& newValue)>;
    using ObserverId = std::uint64_t;
    ObserverId addObserver(Observer observer);
    void removeObserver(ObserverId id);

    // The key a stored document that could not be decoded is kept under before
    // the first save replaces it, e.g. "glidemarkSettings.invalid-20261206T201500Z".
    static std::string invalidDocumentKey(double wallTime);

private:
    // Lets store hooks outlive the manager that installed them without calling into a dead one.
    struct Anchor {
        SettingsManager* manager;
    };

    void adopt(GlidemarkSettings& value);
    void announce(const GlidemarkSettings& newValue);
    bool keepUndecodableDocument();

    std::string key_;
    platform::UserDefaults& defaults_;
    platform::Logger& logger_;
    const platform::Clock& clock_;

    mutable std::mutex mutex_;  // guards current_
    std::shared_ptr<const GlidemarkSettings> current_;

    std::recursive_mutex writeMutex_;  // one assignment or save at a time, observers included
    // The stored document found at start-up that could not be decoded, kept
    // until a save has put it aside (guarded by writeMutex_).
    std::optional<std::string> undecodableDocument_;
    std::string undecodableReason_;
    std::shared_ptr<Anchor> anchor_;

    std::mutex observersMutex_;
    std::map<ObserverId, Observer> observers_;
    ObserverId nextObserverId_ = 1;
};

}  // namespace gm::settings
