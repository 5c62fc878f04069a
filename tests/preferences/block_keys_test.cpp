// The block-key field and its checklist: what is shown as chosen, and the
// append-or-remove then sort sequence, stored twice per change.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFrame>
#include <QTest>
#include <vector>

#include "preferences/BlockKeysView.h"
#include "preferences/PreferencesTestSupport.h"

namespace gm::preferences {
namespace {

using settings::ModifierKey;
using testing::SettingsFixture;
using Codes = std::vector<std::int64_t>;

std::vector<bool> checked(const BlockKeysListView& list) {
    std::vector<bool> out;
    for (ModifierKey key : settings::allModifierKeys) out.push_back(list.checkBox(key)->isChecked());
    return out;
}

TEST(BlockKeys, DefaultsShowAllThreeInOrderAndUncheckingEveryKeyLeavesNone) {
    SettingsFixture f;
    BlockKeysView field(*f.manager);
    BlockKeysListView list(*f.manager);
    EXPECT_EQ(field.shownKeys(), std::vector(settings::allModifierKeys.begin(), settings::allModifierKeys.end()));
    EXPECT_EQ(checked(list), (std::vector<bool>{true, true, true}));
#ifdef Q_OS_MACOS
    EXPECT_EQ(list.checkBox(ModifierKey::command)->text(), "Command");
    EXPECT_EQ(list.checkBox(ModifierKey::control)->text(), "Control");
#else
    EXPECT_EQ(list.checkBox(ModifierKey::command)->text(), "Super");
    EXPECT_EQ(list.checkBox(ModifierKey::control)->text(), "Ctrl");
#endif

    for (ModifierKey key : settings::allModifierKeys) list.checkBox(key)->click();
    EXPECT_TRUE(f.stored().scrollAdvanced.block.empty() && field.shownKeys().empty());
    EXPECT_EQ(checked(list), (std::vector<bool>{false, false, false}));
}

TEST(BlockKeys, UncheckingAndCheckingStoreTwiceAndKeepTheListSorted) {
    SettingsFixture f;
    BlockKeysView field(*f.manager);
    BlockKeysListView list(*f.manager);
    std::vector<Codes> announced;
    const auto id =
        f.manager->addObserver([&](const settings::GlidemarkSettings& s) { announced.push_back(s.scrollAdvanced.block); });

    list.checkBox(ModifierKey::control)->click();
    EXPECT_EQ(std::tuple(f.stored().scrollAdvanced.block, f.writes()), std::tuple(Codes{55, 58}, 2));
    EXPECT_EQ(field.shownKeys(), (std::vector<ModifierKey>{ModifierKey::command, ModifierKey::option}));

    list.checkBox(ModifierKey::control)->click();
    EXPECT_EQ(std::tuple(f.stored().scrollAdvanced.block, f.writes()), std::tuple(Codes{55, 58, 59}, 4));
    // Checking appends first and sorts in a second assignment.
    EXPECT_EQ(announced, (std::vector<Codes>{{55, 58}, {55, 58}, {55, 58, 59}, {55, 58, 59}}));

    list.checkBox(ModifierKey::command)->click();
    list.checkBox(ModifierKey::command)->click();
    EXPECT_EQ(announced[announced.size() - 2], (Codes{58, 59, 55}));
    EXPECT_EQ(f.stored().scrollAdvanced.block, (Codes{55, 58, 59}));
    f.manager->removeObserver(id);
}

TEST(BlockKeys, HandEditedListsStayAsTheyAreUntilChangedThenLoseDuplicatesAndAreSorted) {
    const std::tuple<Codes, ModifierKey, Codes> rows[] = {{{59, 59, 55}, ModifierKey::control, {55}},
                                                          {{59, 55}, ModifierKey::option, {55, 58, 59}}};
    for (const auto& [block, key, after] : rows) {
        settings::GlidemarkSettings s;
        s.scrollAdvanced.block = block;
        SettingsFixture f(s);
        BlockKeysView field(*f.manager);
        BlockKeysListView list(*f.manager);
        EXPECT_EQ(checked(list), (std::vector<bool>{true, true, false}));
        EXPECT_EQ(f.stored().scrollAdvanced.block, block);
        list.checkBox(key)->click();
        EXPECT_EQ(f.stored().scrollAdvanced.block, after);
    }
}

TEST(BlockKeys, ClickingTheFieldOpensAndClosesThePopover) {
    SettingsFixture f;
    BlockKeysView field(*f.manager);
    field.show();
    EXPECT_FALSE(field.showPopover());
    QTest::mouseClick(&field, Qt::LeftButton);
    ASSERT_TRUE(field.showPopover() && field.listView());
    EXPECT_TRUE(field.popover()->isVisible());
    // The popup follows a change made while it is open.
    setBlockKeyChosen(*f.manager, ModifierKey::option, false);
    EXPECT_FALSE(field.listView()->checkBox(ModifierKey::option)->isChecked());
    field.popover()->hide();  // as a click elsewhere does
    EXPECT_FALSE(field.showPopover());
}

}  // namespace
}  // namespace gm::preferences
