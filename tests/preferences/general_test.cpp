// The General tab: each switch writes its own field and nothing else, the
// headings hide and show their section's help texts, and the shell hears of
// launch-at-login and tray-icon changes, also when made elsewhere.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <vector>

#include "preferences/GeneralView.h"
#include "preferences/PreferencesTestSupport.h"
#include "preferences/Widgets.h"

namespace gm::preferences {
namespace {

using testing::SettingsFixture;

class GeneralViewTest : public ::testing::Test {
protected:
    void SetUp() override { testing::qtApp(); }

    GeneralActions recordingActions() {
        return {[this](bool on) { launchCalls.push_back(on); }, [this](bool on) { iconCalls.push_back(on); }};
    }

    SettingsFixture f;
    std::vector<bool> launchCalls;
    std::vector<bool> iconCalls;
};

TEST_F(GeneralViewTest, EachSwitchStoresOnlyItsOwnField) {
    GeneralView view(*f.manager, recordingActions());
    using S = GeneralView::Switch;
    struct Case {
        S which;
        std::function<bool(const settings::GlidemarkSettings&)> read;
    };
    const std::vector<Case> cases{
        {S::animationEasing, [](const auto& s) { return s.scrollBase.animationEasing; }},
        {S::horizontalSmooth, [](const auto& s) { return s.scrollBase.horizontalSmooth; }},
        {S::reverse, [](const auto& s) { return s.scrollBase.reverse; }},
        {S::launchAtLogin, [](const auto& s) { return s.appSettings.launchAtLogin; }},
        {S::showMenuIcon, [](const auto& s) { return s.appSettings.showMenuIcon; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.which));
        settings::GlidemarkSettings expected = f.manager->settings();
        const bool before = c.read(expected);
        const int writes = f.writes();
        view.switchButton(c.which)->click();

        const settings::GlidemarkSettings stored = f.stored();
        EXPECT_EQ(c.read(stored), !before);
        EXPECT_EQ(c.read(f.manager->settings()), !before);
        EXPECT_EQ(f.writes(), writes + 1);
        EXPECT_EQ(view.switchButton(c.which)->isChecked(), !before);
        // Nothing else moved.
        for (const Case& other : cases) {
            if (other.which != c.which) {
                EXPECT_EQ(other.read(stored), other.read(expected));
            }
        }
    }
}

TEST_F(GeneralViewTest, HeadingClicksFlipOnlyTheirSectionsHelpTextsAndStoreEachTime) {
    GeneralView view(*f.manager, recordingActions());
    view.show();
    using S = GeneralView::Switch;
    ASSERT_TRUE(view.helpText(S::animationEasing)->isVisible());
    EXPECT_EQ(view.heading(GeneralView::scrollSection)->toolTip(), "Click on me to hide helper text");

    QTest::mouseClick(view.heading(GeneralView::scrollSection), Qt::LeftButton);
    EXPECT_FALSE(f.stored().appSettings.showScrollHelperText);
    EXPECT_TRUE(f.stored().appSettings.showSystemHelperText);
    for (S s : {S::animationEasing, S::horizontalSmooth, S::reverse}) EXPECT_FALSE(view.helpText(s)->isVisible());
    for (S s : {S::launchAtLogin, S::showMenuIcon}) EXPECT_TRUE(view.helpText(s)->isVisible());
    EXPECT_EQ(view.heading(GeneralView::scrollSection)->toolTip(), "Click on me to hide helper text");

    const int writes = f.writes();
    QTest::mouseClick(view.heading(GeneralView::scrollSection), Qt::LeftButton);
    EXPECT_EQ(f.writes(), writes + 1);
    EXPECT_TRUE(f.stored().appSettings.showScrollHelperText);
    EXPECT_TRUE(view.helpText(S::reverse)->isVisible());

    QTest::mouseClick(view.heading(GeneralView::systemSection), Qt::LeftButton);
    EXPECT_FALSE(f.stored().appSettings.showSystemHelperText);
    EXPECT_FALSE(view.helpText(S::showMenuIcon)->isVisible());
    EXPECT_TRUE(view.helpText(S::reverse)->isVisible());
}

TEST_F(GeneralViewTest, ShellIsToldOfLaunchAtLoginAndIconChangesFromAnywhere) {
    GeneralView view(*f.manager, recordingActions());
    view.switchButton(GeneralView::launchAtLogin)->click();
    view.switchButton(GeneralView::showMenuIcon)->click();
    EXPECT_EQ(launchCalls, std::vector<bool>{true});
    EXPECT_EQ(iconCalls, std::vector<bool>{false});
    EXPECT_FALSE(f.stored().appSettings.showMenuIcon);

    // A change made elsewhere (the tray menu, another window) reaches the shell and the switch at once.
    auto app = f.manager->appSettings();
    app.showMenuIcon = true;
    f.manager->setAppSettings(app);
    EXPECT_EQ(iconCalls, (std::vector<bool>{false, true}));
    EXPECT_TRUE(view.switchButton(GeneralView::showMenuIcon)->isChecked());

    // Changes to other fields do not repeat the calls.
    view.switchButton(GeneralView::reverse)->click();
    EXPECT_EQ(launchCalls.size(), 1U);
    EXPECT_EQ(iconCalls.size(), 2U);
}

TEST_F(GeneralViewTest, AClosedPageNoLongerListens) {
    auto view = std::make_unique<GeneralView>(*f.manager, recordingActions());
    view.reset();
    auto app = f.manager->appSettings();
    app.launchAtLogin = true;
    f.manager->setAppSettings(app);  // would reach a destroyed page if it still observed
    EXPECT_TRUE(launchCalls.empty());
}

}  // namespace
}  // namespace gm::preferences
