#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <unordered_set>

#include "settings/GlidemarkSettings.h"

namespace gm::settings {
namespace {

TEST(SettingsModel, DefaultsOfEveryGroup) {
    GlidemarkSettings s;
    EXPECT_FALSE(s.appSettings.launchAtLogin);
    EXPECT_TRUE(s.appSettings.showMenuIcon);
    EXPECT_TRUE(s.appSettings.exceptionalApplication.empty());
    EXPECT_TRUE(s.appSettings.showScrollHelperText);
    EXPECT_TRUE(s.appSettings.showSystemHelperText);
    EXPECT_EQ(s.scrollBase, (ScrollBase{true, true, false, true}));
    const ScrollAdvanced& a = s.scrollAdvanced;
    EXPECT_EQ(a.dash, 0);
    EXPECT_EQ(a.toggle, 0);
    EXPECT_EQ(a.block, (std::vector<std::int64_t>{55, 58, 59}));
    EXPECT_EQ(a.step, 90.0);
    EXPECT_EQ(a.duration, 350.0);
    EXPECT_EQ(a.accelerationDelta, 50.0);
    EXPECT_EQ(a.accelerationLimit, 7.0);
    EXPECT_EQ(a.accelerationTailToHeadRatio, 3.0);

    ExceptionalApplication e("com.example.App");
    EXPECT_EQ(e.bundleId(), "com.example.App");
    EXPECT_EQ(e.scrollBase(), ScrollBase{});
    EXPECT_EQ(e.scrollAdvanced(), ScrollAdvanced{});
    EXPECT_TRUE(e.inherit());
}

TEST(SettingsModel, ScrollAdvancedEqualityIsNumericAndOrdered) {
    ScrollAdvanced a, b;
    b.step = 90;  // an integer-valued double equals its whole number
    EXPECT_EQ(a, b);
    b.block = {59, 58, 55};
    EXPECT_NE(a, b);
    b = a;
    b.block.push_back(61);
    EXPECT_NE(a, b);
    a.step = b.step = std::numeric_limits<double>::quiet_NaN();
    b.block = a.block;
    EXPECT_NE(a, a) << "a NaN equals nothing, not even itself";
}

TEST(SettingsModel, HashAgreesWithEquality) {
    ScrollAdvanced a, b;
    a.duration = 0.0;
    b.duration = -0.0;
    ASSERT_EQ(a, b);
    EXPECT_EQ(std::hash<ScrollAdvanced>{}(a), std::hash<ScrollAdvanced>{}(b));

    std::unordered_set<ScrollBase> bases;
    for (int bits = 0; bits < 16; ++bits)
        bases.insert(ScrollBase{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0});
    bases.insert(ScrollBase{});
    EXPECT_EQ(bases.size(), 16U);
}

TEST(SettingsModel, ExceptionsCompareByBundleIdentifierOnly) {
    auto chrome = std::make_shared<ExceptionalApplication>("com.google.Chrome");
    auto chromeOther = std::make_shared<ExceptionalApplication>("com.google.Chrome", ScrollBase{false, false, true, false},
                                                                ScrollAdvanced{}, false);
    auto safari = std::make_shared<ExceptionalApplication>("com.apple.Safari");
    EXPECT_EQ(*chrome, *chromeOther);
    EXPECT_FALSE(*chrome == *safari);

    AppSettings a, b;
    a.exceptionalApplication = {chrome, safari};
    b.exceptionalApplication = {chromeOther, std::make_shared<ExceptionalApplication>("com.apple.Safari")};
    EXPECT_EQ(a, b);
    b.exceptionalApplication = {safari, chrome};
    EXPECT_NE(a, b) << "order matters";
    b.exceptionalApplication = {chrome};
    EXPECT_NE(a, b);

    GlidemarkSettings x, y;
    x.appSettings = a;
    y.appSettings = a;
    EXPECT_EQ(x, y);
    y.appSettings.showSystemHelperText = false;
    EXPECT_NE(x, y);
}

TEST(SettingsModel, StoreHookRunsAfterEachHookedAssignmentAndMayReadBack) {
    ExceptionalApplication e("com.example.App");
    std::vector<std::string> seen;
    // The hook reads the exception, as the manager's save does: it must see the
    // new value and must not deadlock on the exception's lock.
    e.setStoreHook([&] {
        auto f = e.fields();
        seen.push_back(std::to_string(f.scrollBase.smooth) + "/" + std::to_string(f.scrollAdvanced.step) + "/" +
                       std::to_string(f.inherit));
    });
    e.setScrollBase(ScrollBase{false, true, false, true});
    ScrollAdvanced a;
    a.step = 12.5;
    e.setScrollAdvanced(a);
    e.setInherit(false);
    e.setBundleId("com.example.Other");
    EXPECT_EQ(seen, (std::vector<std::string>{"0/90.000000/1", "0/12.500000/1", "0/12.500000/0"}));
    EXPECT_EQ(e.bundleId(), "com.example.Other");
    EXPECT_TRUE(e.hasBundleId("com.example.Other"));
    auto n = e.numbers();
    EXPECT_EQ(n.step, 12.5);
    EXPECT_EQ(n.accelerationLimit, 7.0);
}

TEST(SettingsModel, ModifierKeyTable) {
    ASSERT_EQ(allModifierKeys.size(), 3U);
    const struct {
        std::int64_t code;
        const char* display;
        const char* name;
    } expected[] = {{55, "Command", "command"}, {59, "Control", "control"}, {58, "Option", "option"}};
    for (std::size_t i = 0; i < allModifierKeys.size(); ++i) {
        ModifierKey key = allModifierKeys[i];
        EXPECT_EQ(keyCode(key), expected[i].code);
        EXPECT_EQ(displayName(key), expected[i].display);
        EXPECT_EQ(symbolName(key), expected[i].name);
        EXPECT_EQ(identifier(key), expected[i].name);
    }
}

}  // namespace
}  // namespace gm::settings
