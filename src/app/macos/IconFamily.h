#pragma once
// The .icns container of a bundle's icon: PNG images of the standard sizes,
// each under its four-letter type, behind a header with the total length
// (all lengths big-endian and counting their own 8-byte headers).
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace gm::app::macos {

// The icon types that hold a PNG of `pixels` on a side (1x and 2x slots).
std::vector<std::string> iconTypesForSize(int pixels);

// None when an image is too large for the format's 32-bit lengths.
std::optional<std::string> iconFamily(const std::vector<std::pair<std::string, std::string>>& typedPngs);

}  // namespace gm::app::macos
