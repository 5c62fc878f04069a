#include "platform/linux/desktop/X11Properties.h"

#include <cstring>
#include <limits>

namespace gm::platform::linux_desktop {

std::string propertyString(const xcb_get_property_reply_t* reply) {
    if (!reply || reply->type == XCB_NONE || reply->format != 8) return {};
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply));
    const auto length = xcb_get_property_value_length(reply);
    return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

void readWmClass(const xcb_get_property_reply_t* reply, WindowFacts& facts) {
    const auto text = propertyString(reply);
    const auto nul = text.find('\0');
    facts.instance = text.substr(0, nul);
    if (nul != std::string::npos) {
        const auto rest = text.substr(nul + 1);
        facts.wmClass = rest.substr(0, rest.find('\0'));
    }
}

std::optional<ProcessID> readWmPid(const xcb_get_property_reply_t* reply) {
    if (!reply || reply->type != XCB_ATOM_CARDINAL || reply->format != 32 || xcb_get_property_value_length(reply) < 4)
        return std::nullopt;
    std::uint32_t value = 0;
    std::memcpy(&value, xcb_get_property_value(reply), sizeof value);
    if (value == 0 || value > static_cast<std::uint32_t>(std::numeric_limits<ProcessID>::max())) return std::nullopt;
    return static_cast<ProcessID>(value);
}

}  // namespace gm::platform::linux_desktop
