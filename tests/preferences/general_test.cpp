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

using S = GeneralView::Switch;

struct GeneralViewTest : ::testing::Test {
    testing::SettingsFixture f;
    std::vector<bool> launchCalls, iconCalls;
    GeneralActions actions{[this](bool on) { launchCalls.push_back(on); }, [this](bool on) { iconCalls.push_back(on); }};
};

TEST_F(GeneralViewTest, EachSwitchStoresOnlyItsOwnField) {
    GeneralView view(*f.manager, actions);
    const std::pair<S, bool (*)(const settings::GlidemarkSettings&)> cases[] = {
        {S::animationEasing, [](const auto& s) { return s.scrollBase.animationEasing; }},
        {S::horizontalSmooth, [](const auto& s) { return s.scrollBase.horizontalSmooth; }},
        {S::reverse, [](const auto& s) { return s.scrollBase.reverse; }},
        {S::launchAtLogin, [](const auto& s) { return s.appSettings.launchAtLogin; }},
        {S::showMenuIcon, [](const auto& s) { return s.appSettings.showMenuIcon; }}};
    for (const auto& [which, read] : cases) {
        SCOPED_TRACE(static_cast<int>(which));
        const settings::GlidemarkSettings before = f.manager->settings();
        const int writes = f.writes();
        view.switchButton(which)->click();
        const settings::GlidemarkSettings stored = f.stored();
        const bool flipped = !read(before);  // stored, in memory and shown
        EXPECT_EQ(std::tuple(read(stored), read(f.manager->settings()), view.switchButton(which)->isChecked()),
                  std::tuple(flipped, flipped, flipped));
        EXPECT_EQ(f.writes(), writes + 1);
        for (const auto& [other, readOther] : cases)  // nothing else moved
            EXPECT_TRUE(other == which || readOther(stored) == readOther(before)) << static_cast<int>(other);
    }
}

TEST_F(GeneralViewTest, HeadingClicksFlipOnlyTheirSectionsHelpTextsAndStoreEachTime) {
    GeneralView view(*f.manager, actions);
    view.show();
    ASSERT_TRUE(view.helpText(S::animationEasing)->isVisible());
    QLabel* scroll = view.heading(GeneralView::scrollSection);
    EXPECT_EQ(scroll->toolTip(), "Click on me to hide helper text");
    QTest::mouseClick(scroll, Qt::LeftButton);
    EXPECT_EQ(std::pair(f.stored().appSettings.showScrollHelperText, f.stored().appSettings.showSystemHelperText),
              std::pair(false, true));
    for (S s : {S::animationEasing, S::horizontalSmooth, S::reverse}) EXPECT_FALSE(view.helpText(s)->isVisible());
    for (S s : {S::launchAtLogin, S::showMenuIcon}) EXPECT_TRUE(view.helpText(s)->isVisible());
    EXPECT_EQ(scroll->toolTip(), "Click on me to hide helper text");

    const int writes = f.writes();
    QTest::mouseClick(scroll, Qt::LeftButton);
    EXPECT_EQ(f.writes(), writes + 1);
    EXPECT_TRUE(f.stored().appSettings.showScrollHelperText && view.helpText(S::reverse)->isVisible());
    QTest::mouseClick(view.heading(GeneralView::systemSection), Qt::LeftButton);
    EXPECT_FALSE(f.stored().appSettings.showSystemHelperText || view.helpText(S::showMenuIcon)->isVisible());
    EXPECT_TRUE(view.helpText(S::reverse)->isVisible());
}

TEST_F(GeneralViewTest, ShellIsToldOfLaunchAtLoginAndIconChangesFromAnywhere) {
    auto view = std::make_unique<GeneralView>(*f.manager, actions);
    view->switchButton(GeneralView::launchAtLogin)->click();
    view->switchButton(GeneralView::showMenuIcon)->click();
    EXPECT_EQ(std::tie(launchCalls, iconCalls), std::tuple(std::vector<bool>{true}, std::vector<bool>{false}));
    EXPECT_FALSE(f.stored().appSettings.showMenuIcon);

    // A change made elsewhere (the tray menu, another window) reaches the shell and the switch at once.
    auto app = f.manager->appSettings();
    app.showMenuIcon = true;
    f.manager->setAppSettings(app);
    EXPECT_EQ(iconCalls, (std::vector<bool>{false, true}));
    EXPECT_TRUE(view->switchButton(GeneralView::showMenuIcon)->isChecked());
    // Changes to other fields do not repeat the calls.
    view->switchButton(GeneralView::reverse)->click();
    EXPECT_EQ(std::tuple(launchCalls.size(), iconCalls.size()), std::tuple(1U, 2U));

    // A closed page no longer listens: this would reach a destroyed page if it still observed.
    view.reset();
    app.launchAtLogin = false;
    f.manager->setAppSettings(app);
    EXPECT_EQ(launchCalls.size(), 1U);
}

}  // namespace
}  // namespace gm::preferences
