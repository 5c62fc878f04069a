#include "platform/linux/desktop/X11Modifiers.h"

#include <xcb/xinput.h>

#include <algorithm>

#include "platform/Log.h"

namespace gm::platform::linux_desktop {
namespace {

// Key symbols (X11/keysymdef.h).
constexpr std::uint32_t XK_Shift_L = 0xffe1, XK_Shift_R = 0xffe2, XK_Control_L = 0xffe3, XK_Control_R = 0xffe4,
                        XK_Alt_L = 0xffe9, XK_Alt_R = 0xffea, XK_Super_L = 0xffeb, XK_Super_R = 0xffec;

}  // namespace

std::optional<ModifierKey> modifierForKeysym(std::uint32_t keysym) {
    switch (keysym) {
        case XK_Super_L: return modifier_keys::leftCommand;
        case XK_Super_R: return modifier_keys::rightCommand;
        case XK_Shift_L: return modifier_keys::leftShift;
        case XK_Shift_R: return modifier_keys::rightShift;
        case XK_Alt_L: return modifier_keys::leftOption;
        case XK_Alt_R: return modifier_keys::rightOption;
        case XK_Control_L: return modifier_keys::leftControl;
        case XK_Control_R: return modifier_keys::rightControl;
        default: return std::nullopt;
    }
}

std::uint64_t ModifierMasks::flagsFor(std::uint16_t state) const {
    std::uint64_t flags = 0;
    if (state & shift) flags |= flag::shift;
    if (state & control) flags |= flag::control;
    if (state & alt) flags |= flag::alternate;
    if (state & super) flags |= flag::command;
    return flags;
}

void ModifierState::seed(std::uint64_t flags) {
    heldKeys_.clear();
    unsided_ = flags;
}

std::uint64_t ModifierState::flags() const {
    std::uint64_t flags = unsided_;
    for (const auto& k : heldKeys_) flags |= k.flag;
    return flags;
}

std::optional<std::uint64_t> ModifierState::press(ModifierKey key) {
    const auto held = std::any_of(heldKeys_.begin(), heldKeys_.end(),
                                  [&](const ModifierKey& k) { return k.keyCode == key.keyCode; });
    if (held) return std::nullopt;
    heldKeys_.push_back(key);
    return flags();
}

std::optional<std::uint64_t> ModifierState::release(ModifierKey key) {
    const auto it = std::find_if(heldKeys_.begin(), heldKeys_.end(),
                                 [&](const ModifierKey& k) { return k.keyCode == key.keyCode; });
    const bool wasUnsided = (unsided_ & key.flag) != 0;
    if (it == heldKeys_.end() && !wasUnsided) return std::nullopt;
    if (it != heldKeys_.end()) heldKeys_.erase(it);
    unsided_ &= ~key.flag;
    return flags();
}

X11Modifiers::X11Modifiers(X11Connection& connection) : connection_(connection) {
    auto* c = connection_.raw();
    const auto* ext = xcb_get_extension_data(c, &xcb_input_id);
    if (ext && ext->present) {
        // Raw events need the server to know we speak XInput 2 (2.1 and later
        // deliver them even while another client grabs the keyboard).
        XcbReply<xcb_input_xi_query_version_reply_t> v{
            xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr)};
        available_ = v && v->major_version >= 2;
        xinputOpcode_ = ext->major_opcode;
    }
    if (!available_) {
        gm::platform::log().error("XInput 2 is missing: modifier keys cannot be followed");
        return;
    }
    loadKeymap();
    {
        XcbReply<xcb_query_pointer_reply_t> p{
            xcb_query_pointer_reply(c, xcb_query_pointer(c, connection_.root()), nullptr)};
        std::lock_guard lock(mutex_);
        state_.seed(p ? masks_.flagsFor(p->mask) : 0);
    }
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE};
    xcb_input_xi_select_events(c, connection_.root(), 1, &mask.head);
    xcb_flush(c);
    handlerId_ = connection_.addHandler([this](const xcb_generic_event_t& event) { handleEvent(event); });
}

X11Modifiers::~X11Modifiers() {
    if (handlerId_) connection_.removeHandler(handlerId_);
}

void X11Modifiers::setCallback(Callback callback) {
    std::lock_guard lock(mutex_);
    callback_ = std::move(callback);
}

std::uint64_t X11Modifiers::flags() const {
    std::lock_guard lock(mutex_);
    return state_.flags();
}

void X11Modifiers::loadKeymap() {
    auto* c = connection_.raw();
    const auto* setup = xcb_get_setup(c);
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    const auto mapCookie = xcb_get_keyboard_mapping(c, setup->min_keycode, count);
    const auto modCookie = xcb_get_modifier_mapping(c);
    XcbReply<xcb_get_keyboard_mapping_reply_t> map{xcb_get_keyboard_mapping_reply(c, mapCookie, nullptr)};
    XcbReply<xcb_get_modifier_mapping_reply_t> mods{xcb_get_modifier_mapping_reply(c, modCookie, nullptr)};
    std::vector<std::uint32_t> first;
    if (map && map->keysyms_per_keycode > 0) {
        const auto* syms = xcb_get_keyboard_mapping_keysyms(map.get());
        const auto n = static_cast<std::size_t>(xcb_get_keyboard_mapping_keysyms_length(map.get()));
        for (std::size_t i = 0; i < n; i += map->keysyms_per_keycode) first.push_back(syms[i]);
    }
    ModifierMasks masks;
    if (mods) {
        // Alt and Super live on whichever ModN the keymap puts them.
        masks.alt = masks.super = 0;
        const auto* codes = xcb_get_modifier_mapping_keycodes(mods.get());
        const auto per = mods->keycodes_per_modifier;
        for (unsigned modIndex = 0; modIndex < 8; ++modIndex) {
            for (unsigned k = 0; k < per; ++k) {
                const auto code = codes[modIndex * per + k];
                if (code < setup->min_keycode || static_cast<std::size_t>(code - setup->min_keycode) >= first.size())
                    continue;
                const auto key = modifierForKeysym(first[code - setup->min_keycode]);
                const auto bit = static_cast<std::uint16_t>(1u << modIndex);
                if (key && key->flag == flag::alternate) masks.alt = static_cast<std::uint16_t>(masks.alt | bit);
                if (key && key->flag == flag::command) masks.super = static_cast<std::uint16_t>(masks.super | bit);
            }
        }
    }
    std::lock_guard lock(mutex_);
    minKeycode_ = setup->min_keycode;
    firstKeysyms_ = std::move(first);
    masks_ = masks;
}

std::optional<ModifierKey> X11Modifiers::keyFor(std::uint8_t keycode) const {
    if (keycode < minKeycode_ || static_cast<std::size_t>(keycode - minKeycode_) >= firstKeysyms_.size())
        return std::nullopt;
    return modifierForKeysym(firstKeysyms_[keycode - minKeycode_]);
}

void X11Modifiers::handleEvent(const xcb_generic_event_t& event) {
    const auto type = event.response_type & 0x7f;
    if (type == XCB_MAPPING_NOTIFY) {
        loadKeymap();
        return;
    }
    if (type != XCB_GE_GENERIC) return;
    const auto& ge = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
    if (ge.extension != xinputOpcode_) return;
    if (ge.event_type != XCB_INPUT_RAW_KEY_PRESS && ge.event_type != XCB_INPUT_RAW_KEY_RELEASE) return;
    const auto& raw = reinterpret_cast<const xcb_input_raw_key_press_event_t&>(event);
    Callback callback;
    std::optional<std::uint64_t> flags;
    std::uint16_t keyCode = 0;
    {
        std::lock_guard lock(mutex_);
        if (raw.detail > 0xff) return;
        const auto key = keyFor(static_cast<std::uint8_t>(raw.detail));
        if (!key) return;
        flags = ge.event_type == XCB_INPUT_RAW_KEY_PRESS ? state_.press(*key) : state_.release(*key);
        keyCode = key->keyCode;
        callback = callback_;
    }
    if (!flags || !callback) return;
    auto* c = connection_.raw();
    XcbReply<xcb_query_pointer_reply_t> p{xcb_query_pointer_reply(c, xcb_query_pointer(c, connection_.root()), nullptr)};
    const Point location = p ? Point{static_cast<double>(p->root_x), static_cast<double>(p->root_y)} : Point{};
    auto changed = std::make_shared<FieldTableEvent>(EventType::FlagsChanged, *flags, location);
    changed->setIntegerValue(field::keyboardKeycode, keyCode);
    callback(changed);
}

}  // namespace gm::platform::linux_desktop
