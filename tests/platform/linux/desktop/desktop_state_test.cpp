// The small state machines behind the X11 and session code: modifier keys to
// flags, mode timings to refresh rates, session activity to transitions.
#include <gtest/gtest.h>
#include <xcb/randr.h>

#include "platform/Event.h"
#include "platform/linux/desktop/LogindSession.h"
#include "platform/linux/desktop/RandrScreens.h"
#include "platform/linux/desktop/X11Modifiers.h"

namespace ld = gm::platform::linux_desktop;
namespace flag = gm::platform::flag;

// Null where nothing changes: an auto-repeat, or a release never pressed.
using Flags = std::vector<std::optional<std::uint64_t>>;

TEST(ModifierKeys, StateFollowsBothSidesAndIgnoresRepeats) {
    ld::ModifierState s;
    const ld::ModifierKey shiftL{56, flag::shift}, shiftR{60, flag::shift}, cmd{55, flag::command};
    const Flags got{s.press(shiftL),   s.press(shiftL),   s.press(cmd),      s.press(shiftR),
                    s.release(shiftL), s.release(shiftR), s.release(shiftR), s.release(cmd)};
    const auto both = flag::shift | flag::command;  // the right shift still holds it after the left goes
    EXPECT_EQ(got, (Flags{flag::shift, std::nullopt, both, both, both, flag::command, std::nullopt, 0u}));
}

TEST(ModifierKeys, KeysAlreadyDownAtStartClearOnEitherSide) {
    ld::ModifierState s;
    s.seed(flag::control | flag::alternate);
    EXPECT_EQ(s.flags(), flag::control | flag::alternate);
    // Seeded without a side: either control key lets go of it, once.
    EXPECT_EQ((Flags{s.release({62, flag::control}), s.release({59, flag::control})}), (Flags{flag::alternate, std::nullopt}));

    ld::ModifierMasks masks;
    masks.alt = XCB_MOD_MASK_1;
    masks.super = XCB_MOD_MASK_4;
    EXPECT_EQ(masks.flagsFor(XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4 | XCB_MOD_MASK_2 /* NumLock */),
              flag::shift | flag::command);
}

TEST(RefreshRate, ModeTimings) {
    // 1920x1080@60: 148.5 MHz, 2200 x 1125.
    EXPECT_DOUBLE_EQ(ld::modeRefreshRate(148500000, 2200, 1125, 0), 60.0);
    // 1080i: half the lines per field, twice the fields.
    EXPECT_DOUBLE_EQ(ld::modeRefreshRate(74250000, 2200, 1125, XCB_RANDR_MODE_FLAG_INTERLACE), 60.0);
    // Double scan draws every line twice, so the same timings refresh half as often.
    EXPECT_NEAR(ld::modeRefreshRate(25175000, 800, 449, XCB_RANDR_MODE_FLAG_DOUBLE_SCAN), 35.04, 0.01);
    EXPECT_EQ(ld::modeRefreshRate(0, 2200, 1125, 0), ld::kFallbackRefreshRate);
    EXPECT_EQ(ld::modeRefreshRate(148500000, 0, 0, 0), ld::kFallbackRefreshRate);
}

TEST(SessionActivity, OnlyChangesAreTransitions) {
    using T = ld::SessionActivity::Transition;
    ld::SessionActivity s;  // starts out active
    const std::vector<T> got{s.update(true), s.update(false), s.update(false), s.update(true)};
    EXPECT_EQ(got, (std::vector<T>{T::None, T::Resigned, T::None, T::BecameActive}));
    EXPECT_TRUE(s.active());
}
