#include "platform/linux/desktop/RandrScreens.h"

#include <xcb/randr.h>

#include <algorithm>

namespace gm::platform::linux_desktop {

double modeRefreshRate(std::uint32_t dotClock, std::uint16_t htotal, std::uint16_t vtotal, std::uint32_t modeFlags) {
    double lines = vtotal;
    if (modeFlags & XCB_RANDR_MODE_FLAG_DOUBLE_SCAN) lines *= 2;
    if (modeFlags & XCB_RANDR_MODE_FLAG_INTERLACE) lines /= 2;
    const double pixels = static_cast<double>(htotal) * lines;
    if (dotClock == 0 || pixels <= 0) return kFallbackRefreshRate;
    return static_cast<double>(dotClock) / pixels;
}

RandrScreens::RandrScreens(X11Connection& connection) : connection_(connection) {
    auto* c = connection_.raw();
    const auto* ext = xcb_get_extension_data(c, &xcb_randr_id);
    if (ext && ext->present) {
        // GetScreenResourcesCurrent and the primary output need 1.3.
        XcbReply<xcb_randr_query_version_reply_t> v{
            xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 3), nullptr)};
        hasRandr_ = v && (v->major_version > 1 || v->minor_version >= 3);
        firstEvent_ = ext->first_event;
    }
    if (hasRandr_) {
        xcb_randr_select_input(c, connection_.root(),
                               XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE);
        xcb_flush(c);
        handlerId_ = connection_.addHandler([this](const xcb_generic_event_t& event) { handleEvent(event); });
    }
    reload();
}

RandrScreens::~RandrScreens() {
    if (handlerId_) connection_.removeHandler(handlerId_);
}

void RandrScreens::handleEvent(const xcb_generic_event_t& event) {
    const auto type = event.response_type & 0x7f;
    if (type == firstEvent_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY || type == firstEvent_ + XCB_RANDR_NOTIFY) reload();
}

void RandrScreens::screens(std::vector<Screen>& out) const {
    std::lock_guard lock(mutex_);
    out.assign(screens_.begin(), screens_.end());
}

Point RandrScreens::mainScreenCentre() const {
    std::lock_guard lock(mutex_);
    if (screens_.empty()) return {};
    const Rect& main = screens_.front().frame;
    return {main.x + main.width / 2, main.y + main.height / 2};
}

void RandrScreens::reload() {
    auto* c = connection_.raw();
    std::vector<Screen> found;
    if (hasRandr_) {
        const auto root = connection_.root();
        const auto resCookie = xcb_randr_get_screen_resources_current(c, root);
        const auto primaryCookie = xcb_randr_get_output_primary(c, root);
        XcbReply<xcb_randr_get_screen_resources_current_reply_t> res{
            xcb_randr_get_screen_resources_current_reply(c, resCookie, nullptr)};
        XcbReply<xcb_randr_get_output_primary_reply_t> primary{
            xcb_randr_get_output_primary_reply(c, primaryCookie, nullptr)};
        if (res) {
            const auto* crtcs = xcb_randr_get_screen_resources_current_crtcs(res.get());
            const auto crtcCount = static_cast<std::size_t>(xcb_randr_get_screen_resources_current_crtcs_length(res.get()));
            const auto* modes = xcb_randr_get_screen_resources_current_modes(res.get());
            const auto modeCount = static_cast<std::size_t>(xcb_randr_get_screen_resources_current_modes_length(res.get()));
            std::vector<xcb_randr_get_crtc_info_cookie_t> cookies;
            for (std::size_t i = 0; i < crtcCount; ++i)
                cookies.push_back(xcb_randr_get_crtc_info(c, crtcs[i], res->config_timestamp));
            std::size_t primaryIndex = SIZE_MAX;
            for (std::size_t i = 0; i < crtcCount; ++i) {
                XcbReply<xcb_randr_get_crtc_info_reply_t> info{xcb_randr_get_crtc_info_reply(c, cookies[i], nullptr)};
                if (!info || info->mode == XCB_NONE || info->num_outputs == 0 || info->width == 0) continue;
                Screen s;
                s.frame = Rect{static_cast<double>(info->x), static_cast<double>(info->y),
                               static_cast<double>(info->width), static_cast<double>(info->height)};
                s.displayID = crtcs[i];
                for (std::size_t m = 0; m < modeCount; ++m) {
                    if (modes[m].id != info->mode) continue;
                    s.refreshRate = modeRefreshRate(modes[m].dot_clock, modes[m].htotal, modes[m].vtotal, modes[m].mode_flags);
                    break;
                }
                const auto* outputs = xcb_randr_get_crtc_info_outputs(info.get());
                if (primary && std::find(outputs, outputs + info->num_outputs, primary->output) != outputs + info->num_outputs)
                    primaryIndex = found.size();
                found.push_back(s);
            }
            // The primary screen leads the list, as the screen with the menus does elsewhere.
            if (primaryIndex != SIZE_MAX && primaryIndex != 0)
                std::rotate(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(primaryIndex),
                            found.begin() + static_cast<std::ptrdiff_t>(primaryIndex) + 1);
        }
    }
    if (found.empty()) {
        // No RandR, or no lit CRTC (a bare virtual framebuffer): the whole root is one screen.
        auto it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (; it.rem; xcb_screen_next(&it)) {
            if (it.data->root != connection_.root()) continue;
            Screen s;
            s.frame = Rect{0, 0, static_cast<double>(it.data->width_in_pixels), static_cast<double>(it.data->height_in_pixels)};
            s.refreshRate = kFallbackRefreshRate;
            found.push_back(s);
        }
    }
    std::lock_guard lock(mutex_);
    screens_ = std::move(found);
}

}  // namespace gm::platform::linux_desktop
