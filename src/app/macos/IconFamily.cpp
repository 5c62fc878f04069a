#include "app/macos/IconFamily.h"

#include <cstdint>
#include <limits>

namespace gm::app::macos {

namespace {

struct Slot {
    const char* type;
    int pixels;
};

// 16/32/64 1x, then the Retina slots, which take the image twice the size.
constexpr Slot kSlots[] = {{"icp4", 16},  {"icp5", 32},  {"icp6", 64},  {"ic07", 128}, {"ic08", 256},
                           {"ic09", 512}, {"ic10", 1024}, {"ic11", 32}, {"ic12", 64},  {"ic13", 256},
                           {"ic14", 512}};

void appendLength(std::string& out, std::uint32_t length) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((length >> shift) & 0xFFu);
}

}  // namespace

std::vector<std::string> iconTypesForSize(int pixels) {
    std::vector<std::string> types;
    for (const Slot& slot : kSlots)
        if (slot.pixels == pixels) types.emplace_back(slot.type);
    return types;
}

std::optional<std::string> iconFamily(const std::vector<std::pair<std::string, std::string>>& typedPngs) {
    constexpr std::uint64_t kLimit = std::numeric_limits<std::uint32_t>::max();
    std::uint64_t total = 8;
    for (const auto& [type, png] : typedPngs) {
        if (type.size() != 4) return std::nullopt;
        total += 8 + png.size();
    }
    if (total > kLimit) return std::nullopt;
    std::string out = "icns";
    appendLength(out, static_cast<std::uint32_t>(total));
    for (const auto& [type, png] : typedPngs) {
        out += type;
        appendLength(out, static_cast<std::uint32_t>(8 + png.size()));
        out += png;
    }
    return out;
}

}  // namespace gm::app::macos
