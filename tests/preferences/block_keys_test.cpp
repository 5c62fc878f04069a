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

class BlockKeysTest : public ::testing::Test {
protected:
    void SetUp() override { testing::qtApp(); }

    static SettingsFixture withBlock(Codes block) {
        settings::GlidemarkSettings s;
        s.scrollAdvanced.block = std::move(block);
        return SettingsFixture(s);
    }
    static std::vector<bool> checked(const BlockKeysListView& list) {
        std::vector<bool> out;
        for (ModifierKey key : settings::allModifierKeys) out.push_back(list.checkBox(key)->isChecked());
        return out;
    }
};

TEST_F(BlockKeysTest, DefaultsShowAllThreeInOrderAndUncheckingEveryKeyLeavesNone) {
    SettingsFixture f;
    BlockKeysView field(*f.manager);
    BlockKeysListView list(*f.manager);
    EXPECT_EQ(field.shownKeys(), (std::vector<ModifierKey>{ModifierKey::command, ModifierKey::control, ModifierKey::option}));
    EXPECT_EQ(checked(list), (std::vector<bool>{true, true, true}));
#ifdef Q_OS_MACOS
    EXPECT_EQ(list.checkBox(ModifierKey::command)->text(), "Command");
    EXPECT_EQ(list.checkBox(ModifierKey::control)->text(), "Control");
#else
    EXPECT_EQ(list.checkBox(ModifierKey::command)->text(), "Super");
    EXPECT_EQ(list.checkBox(ModifierKey::control)->text(), "Ctrl");
#endif

    for (ModifierKey key : settings::allModifierKeys) list.checkBox(key)->click();
    EXPECT_TRUE(f.stored().scrollAdvanced.block.empty());
    EXPECT_TRUE(field.shownKeys().empty());
    EXPECT_EQ(checked(list), (std::vector<bool>{false, false, false}));
}

TEST_F(BlockKeysTest, UncheckingAndCheckingStoreTwiceAndKeepTheListSorted) {
    SettingsFixture f;
    BlockKeysView field(*f.manager);
    BlockKeysListView list(*f.manager);
    std::vector<Codes> announced;
    const auto id = f.manager->addObserver([&](const settings::GlidemarkSettings& s) { announced.push_back(s.scrollAdvanced.block); });

    list.checkBox(ModifierKey::control)->click();
    EXPECT_EQ(f.stored().scrollAdvanced.block, (Codes{55, 58}));
    EXPECT_EQ(f.writes(), 2);
    EXPECT_EQ(field.shownKeys(), (std::vector<ModifierKey>{ModifierKey::command, ModifierKey::option}));

    list.checkBox(ModifierKey::control)->click();
    EXPECT_EQ(f.stored().scrollAdvanced.block, (Codes{55, 58, 59}));
    EXPECT_EQ(f.writes(), 4);
    // Checking appends first and sorts in a second assignment.
    EXPECT_EQ(announced, (std::vector<Codes>{{55, 58}, {55, 58}, {55, 58, 59}, {55, 58, 59}}));

    list.checkBox(ModifierKey::command)->click();
    list.checkBox(ModifierKey::command)->click();
    EXPECT_EQ(announced[announced.size() - 2], (Codes{58, 59, 55}));
    EXPECT_EQ(f.stored().scrollAdvanced.block, (Codes{55, 58, 59}));
    f.manager->removeObserver(id);
}

TEST_F(BlockKeysTest, DuplicatesInAHandEditedListAllGo) {
    auto f = withBlock({59, 59, 55});
    BlockKeysListView list(*f.manager);
    EXPECT_EQ(checked(list), (std::vector<bool>{true, true, false}));
    list.checkBox(ModifierKey::control)->click();
    EXPECT_EQ(f.stored().scrollAdvanced.block, (Codes{55}));
}

TEST_F(BlockKeysTest, AnUnsortedListStaysAsItIsUntilChanged) {
    auto f = withBlock({59, 55});
    BlockKeysView field(*f.manager);
    EXPECT_EQ(f.stored().scrollAdvanced.block, (Codes{59, 55}));
    setBlockKeyChosen(*f.manager, ModifierKey::option, true);
    EXPECT_EQ(f.stored().scrollAdvanced.block, (Codes{55, 58, 59}));
}

TEST_F(BlockKeysTest, ClickingTheFieldOpensAndClosesThePopover) {
    SettingsFixture f;
    BlockKeysView field(*f.manager);
    field.show();
    EXPECT_FALSE(field.showPopover());
    QTest::mouseClick(&field, Qt::LeftButton);
    ASSERT_TRUE(field.showPopover());
    ASSERT_NE(field.listView(), nullptr);
    EXPECT_TRUE(field.popover()->isVisible());
    // The popup follows a change made while it is open.
    setBlockKeyChosen(*f.manager, ModifierKey::option, false);
    EXPECT_FALSE(field.listView()->checkBox(ModifierKey::option)->isChecked());
    field.popover()->hide();  // as a click elsewhere does
    EXPECT_FALSE(field.showPopover());
}

}  // namespace
}  // namespace gm::preferences
