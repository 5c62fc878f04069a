#pragma once
// Whole numbers out of JSON that another program wrote. A value that does not
// fit the type it is read into gives nothing rather than being cast, which
// would be undefined for a double and silently wrong for a wider integer.
#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

namespace gm::platform::linux_desktop {

// An integer, or a float with no fractional part (1e3, 7.0), within T's range.
template <typename T>
std::optional<T> wholeNumber(const nlohmann::json& value) {
    static_assert(std::is_integral_v<T> && !std::is_same_v<T, bool>);
    if (value.is_number_unsigned()) {
        const auto u = value.get<std::uint64_t>();
        if (!std::in_range<T>(u)) return std::nullopt;
        return static_cast<T>(u);
    }
    if (value.is_number_integer()) {
        const auto i = value.get<std::int64_t>();
        if (!std::in_range<T>(i)) return std::nullopt;
        return static_cast<T>(i);
    }
    if (!value.is_number_float()) return std::nullopt;
    const double d = value.get<double>();
    // The bounds are powers of two, exact as doubles, so the comparison is
    // made before any conversion: [-2^digits, 2^digits) for signed types.
    const double limit = std::ldexp(1.0, std::numeric_limits<T>::digits);
    const double lowest = std::is_signed_v<T> ? -limit : 0.0;
    if (!std::isfinite(d) || std::trunc(d) != d || d < lowest || d >= limit) return std::nullopt;
    return static_cast<T>(d);
}

// The member `key` of an object, read as above; nothing when absent.
template <typename T>
std::optional<T> wholeNumberAt(const nlohmann::json& object, std::string_view key) {
    if (!object.is_object()) return std::nullopt;
    const auto it = object.find(key);
    return it == object.end() ? std::nullopt : wholeNumber<T>(*it);
}

}  // namespace gm::platform::linux_desktop
