#pragma once
// The settings record: application switches with the per-application
// exceptions, the scroll switches and the numeric scroll parameters.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace gm::settings {

struct ScrollBase {
    bool smooth = true;
    bool horizontalSmooth = true;
    bool reverse = false;
    bool animationEasing = true;

    bool operator==(const ScrollBase&) const = default;
};

struct ScrollAdvanced {
    std::int64_t dash = 0;
    std::int64_t toggle = 0;
    std::vector<std::int64_t> block{55, 58, 59};
    double step = 90.0;
    double duration = 350.0;
    double accelerationDelta = 50.0;
    double accelerationLimit = 7.0;
    double accelerationTailToHeadRatio = 3.0;

    // Doubles compare numerically, so a NaN equals nothing (not even itself).
    bool operator==(const ScrollAdvanced&) const = default;
};

// The four numbers an exception may override; read on the scroll path without copying `block`.
struct ScrollNumbers {
    double step;
    double duration;
    double accelerationDelta;
    double accelerationLimit;
};

// One excepted application. Shared by reference between the settings list,
// the views that edit it and the engine that applies it, so a change through
// any holder is seen by all. Its fields may be written on the UI thread while
// the engine reads them on its own, hence the lock. Writing `scrollBase`,
// `scrollAdvanced` or `inherit` runs the store hook afterwards (the settings
// manager makes it save the document without announcing a change).
class ExceptionalApplication {
public:
    explicit ExceptionalApplication(std::string bundleId);
    ExceptionalApplication(std::string bundleId, ScrollBase scrollBase, ScrollAdvanced scrollAdvanced, bool inherit);
    ExceptionalApplication(const ExceptionalApplication&) = delete;
    ExceptionalApplication& operator=(const ExceptionalApplication&) = delete;

    std::string bundleId() const;
    bool hasBundleId(std::string_view bundleId) const;
    void setBundleId(std::string bundleId);  // no store hook

    ScrollBase scrollBase() const;
    void setScrollBase(const ScrollBase& value);
    ScrollAdvanced scrollAdvanced() const;
    void setScrollAdvanced(const ScrollAdvanced& value);
    bool inherit() const;
    void setInherit(bool value);

    ScrollNumbers numbers() const;

    // All four fields read under one lock, so a concurrent write is seen whole or not at all.
    struct Fields {
        std::string bundleId;
        ScrollBase scrollBase;
        ScrollAdvanced scrollAdvanced;
        bool inherit;
    };
    Fields fields() const;

    using StoreHook = std::function<void()>;
    void setStoreHook(StoreHook hook);

    // Exceptions are equal when their bundle identifiers are.
    bool operator==(const ExceptionalApplication& other) const;

private:
    void runStoreHook() const;

    mutable std::mutex mutex_;
    std::string bundleId_;
    ScrollBase scrollBase_;
    ScrollAdvanced scrollAdvanced_;
    bool inherit_ = true;
    StoreHook hook_;
};

using ExceptionRef = std::shared_ptr<ExceptionalApplication>;

struct AppSettings {
    bool launchAtLogin = false;
    bool showMenuIcon = true;
    std::vector<ExceptionRef> exceptionalApplication;  // newest first
    bool showScrollHelperText = true;
    bool showSystemHelperText = true;

    bool operator==(const AppSettings& other) const;
};

struct GlidemarkSettings {
    AppSettings appSettings;
    ScrollBase scrollBase;
    ScrollAdvanced scrollAdvanced;

    bool operator==(const GlidemarkSettings&) const = default;
};

// The keys offered for the block list, in the order the views show them.
enum class ModifierKey { command, control, option };

inline constexpr std::array<ModifierKey, 3> allModifierKeys{ModifierKey::command, ModifierKey::control,
                                                            ModifierKey::option};
std::int64_t keyCode(ModifierKey key);
std::string_view displayName(ModifierKey key);
std::string_view symbolName(ModifierKey key);
std::string_view identifier(ModifierKey key);

}  // namespace gm::settings

template <>
struct std::hash<gm::settings::ScrollBase> {
    std::size_t operator()(const gm::settings::ScrollBase& value) const noexcept;
};
template <>
struct std::hash<gm::settings::ScrollAdvanced> {
    std::size_t operator()(const gm::settings::ScrollAdvanced& value) const noexcept;
};
