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

TEST(ModifierKeys, StateFollowsBothSidesAndIgnoresRepeats) {
    ld::ModifierState s;
    const ld::ModifierKey shiftL{56, flag::shift}, shiftR{60, flag::shift}, cmd{55, flag::command};
    EXPECT_EQ(s.press(shiftL), flag::shift);
    EXPECT_FALSE(s.press(shiftL));  // auto-repeat
    EXPECT_EQ(s.press(cmd), flag::shift | flag::command);
    EXPECT_EQ(s.press(shiftR), flag::shift | flag::command);
    EXPECT_EQ(s.release(shiftL), flag::shift | flag::command);  // the right one is still down
    EXPECT_EQ(s.release(shiftR), flag::command);
    EXPECT_FALSE(s.release(shiftR));  // never pressed twice
    EXPECT_EQ(s.release(cmd), 0u);
}

TEST(ModifierKeys, KeysAlreadyDownAtStartClearOnEitherSide) {
    ld::ModifierState s;
    s.seed(flag::control | flag::alternate);
    EXPECT_EQ(s.flags(), flag::control | flag::alternate);
    EXPECT_EQ(s.release({62, flag::control}), flag::alternate);  // seeded without a side
    EXPECT_FALSE(s.release({59, flag::control}));

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
    ld::SessionActivity s;
    EXPECT_EQ(s.update(true), T::None);  // we start out active
    EXPECT_EQ(s.update(false), T::Resigned);
    EXPECT_EQ(s.update(false), T::None);
    EXPECT_EQ(s.update(true), T::BecameActive);
    EXPECT_TRUE(s.active());
}
