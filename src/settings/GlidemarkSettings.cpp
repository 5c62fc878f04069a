#include "settings/GlidemarkSettings.h"

#include <utility>

namespace gm::settings {

ExceptionalApplication::ExceptionalApplication(std::string bundleId) : bundleId_(std::move(bundleId)) {}

ExceptionalApplication::ExceptionalApplication(std::string bundleId, ScrollBase scrollBase,
                                               ScrollAdvanced scrollAdvanced, bool inherit)
    : bundleId_(std::move(bundleId)),
      scrollBase_(scrollBase),
      scrollAdvanced_(std::move(scrollAdvanced)),
      inherit_(inherit) {}

std::string ExceptionalApplication::bundleId() const {
    std::lock_guard lock(mutex_);
    return bundleId_;
}

bool ExceptionalApplication::hasBundleId(std::string_view bundleId) const {
    std::lock_guard lock(mutex_);
    return bundleId_ == bundleId;
}

void ExceptionalApplication::setBundleId(std::string bundleId) {
    std::lock_guard lock(mutex_);
    bundleId_ = std::move(bundleId);
}

ScrollBase ExceptionalApplication::scrollBase() const {
    std::lock_guard lock(mutex_);
    return scrollBase_;
}

void ExceptionalApplication::setScrollBase(const ScrollBase& value) {
    {
        std::lock_guard lock(mutex_);
        scrollBase_ = value;
    }
    runStoreHook();
}

ScrollAdvanced ExceptionalApplication::scrollAdvanced() const {
    std::lock_guard lock(mutex_);
    return scrollAdvanced_;
}

void ExceptionalApplication::setScrollAdvanced(const ScrollAdvanced& value) {
    // Copy outside the lock: a long block list need not hold up the engine's reads.
    ScrollAdvanced copy = value;
    {
        std::lock_guard lock(mutex_);
        std::swap(scrollAdvanced_, copy);
    }
    runStoreHook();
}

bool ExceptionalApplication::inherit() const {
    std::lock_guard lock(mutex_);
    return inherit_;
}

void ExceptionalApplication::setInherit(bool value) {
    {
        std::lock_guard lock(mutex_);
        inherit_ = value;
    }
    runStoreHook();
}

ExceptionalApplication::Fields ExceptionalApplication::fields() const {
    std::lock_guard lock(mutex_);
    return Fields{bundleId_, scrollBase_, scrollAdvanced_, inherit_};
}

ScrollNumbers ExceptionalApplication::numbers() const {
    std::lock_guard lock(mutex_);
    return ScrollNumbers{scrollAdvanced_.step, scrollAdvanced_.duration, scrollAdvanced_.accelerationDelta,
                         scrollAdvanced_.accelerationLimit};
}

void ExceptionalApplication::setStoreHook(StoreHook hook) {
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
}

void ExceptionalApplication::runStoreHook() const {
    // The hook saves the whole document, which reads this exception again:
    // run a copy of it with the lock released.
    StoreHook hook;
    {
        std::lock_guard lock(mutex_);
        hook = hook_;
    }
    if (hook) hook();
}

bool ExceptionalApplication::operator==(const ExceptionalApplication& other) const {
    if (this == &other) return true;
    return other.hasBundleId(bundleId());
}

bool AppSettings::operator==(const AppSettings& other) const {
    if (launchAtLogin != other.launchAtLogin || showMenuIcon != other.showMenuIcon ||
        showScrollHelperText != other.showScrollHelperText || showSystemHelperText != other.showSystemHelperText)
        return false;
    if (exceptionalApplication.size() != other.exceptionalApplication.size()) return false;
    for (std::size_t i = 0; i < exceptionalApplication.size(); ++i) {
        const auto& a = exceptionalApplication[i];
        const auto& b = other.exceptionalApplication[i];
        if (!a || !b) {
            if (a != b) return false;
            continue;
        }
        if (!(*a == *b)) return false;
    }
    return true;
}

std::int64_t keyCode(ModifierKey key) {
    switch (key) {
    case ModifierKey::command: return 55;
    case ModifierKey::control: return 59;
    case ModifierKey::option: return 58;
    }
    return 0;
}

std::string_view displayName(ModifierKey key) {
    switch (key) {
    case ModifierKey::command: return "Command";
    case ModifierKey::control: return "Control";
    case ModifierKey::option: return "Option";
    }
    return {};
}

std::string_view symbolName(ModifierKey key) { return identifier(key); }

std::string_view identifier(ModifierKey key) {
    switch (key) {
    case ModifierKey::command: return "command";
    case ModifierKey::control: return "control";
    case ModifierKey::option: return "option";
    }
    return {};
}

}  // namespace gm::settings

namespace {

void combine(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

// 0.0 and -0.0 are equal, so they must hash alike.
std::size_t hashDouble(double value) { return std::hash<double>{}(value == 0.0 ? 0.0 : value); }

}  // namespace

std::size_t std::hash<gm::settings::ScrollBase>::operator()(const gm::settings::ScrollBase& value) const noexcept {
    std::size_t bits = (value.smooth ? 1U : 0U) | (value.horizontalSmooth ? 2U : 0U) | (value.reverse ? 4U : 0U) |
                       (value.animationEasing ? 8U : 0U);
    return std::hash<std::size_t>{}(bits);
}

std::size_t std::hash<gm::settings::ScrollAdvanced>::operator()(
    const gm::settings::ScrollAdvanced& value) const noexcept {
    std::size_t seed = 0;
    combine(seed, std::hash<std::int64_t>{}(value.dash));
    combine(seed, std::hash<std::int64_t>{}(value.toggle));
    combine(seed, value.block.size());
    for (auto code : value.block) combine(seed, std::hash<std::int64_t>{}(code));
    combine(seed, hashDouble(value.step));
    combine(seed, hashDouble(value.duration));
    combine(seed, hashDouble(value.accelerationDelta));
    combine(seed, hashDouble(value.accelerationLimit));
    combine(seed, hashDouble(value.accelerationTailToHeadRatio));
    return seed;
}
