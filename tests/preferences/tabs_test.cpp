// The tab enumeration and the tab container.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPointer>

#include "preferences/AdvancedView.h"
#include "preferences/ExceptionsView.h"
#include "preferences/GeneralView.h"
#include "preferences/PreferencesTabView.h"
#include "preferences/PreferencesTestSupport.h"

namespace gm::preferences {
namespace {

TEST(PreferencesTab, TitlesAreTheIdentityAndMatchExactly) {
    EXPECT_EQ(preferencesTabFromTitle("exceptions"), std::nullopt);
    EXPECT_EQ(preferencesTabFromTitle(""), std::nullopt);
    for (PreferencesTab tab : allPreferencesTabs) EXPECT_EQ(preferencesTabFromTitle(title(tab)), tab);
}

struct TabViewTest : ::testing::Test {
    void SetUp() override { context.settingsManager = f.manager.get(); }
    testing::SettingsFixture f;
    PreferencesContext context;
};

TEST_F(TabViewTest, StartsOnGeneralAndBuildsAFreshPageOnEachSwitch) {
    using enum PreferencesTab;
    std::unique_ptr<PreferencesTabView> view(createPreferencesTabView(context));
    view->show();
    EXPECT_TRUE(view->selectionTab() == general && qobject_cast<GeneralView*>(view->page()));
    EXPECT_EQ(view->width(), PreferencesTabView::kWidth);
    auto click = [&](PreferencesTab tab) { view->tabButton(tab)->click(), testing::processEvents(); };
    // Pressing the selected tab changes nothing, not even the page object.
    QPointer<QWidget> generalPage = view->page();
    click(general);
    EXPECT_EQ(view->page(), generalPage.data());
    EXPECT_TRUE(view->tabButton(general)->isSelected());

    click(advanced);
    EXPECT_TRUE(qobject_cast<AdvancedView*>(view->page()) && generalPage.isNull());
    EXPECT_TRUE(!view->tabButton(general)->isSelected() && view->tabButton(advanced)->isSelected());
    click(exceptions);
    EXPECT_NE(qobject_cast<ExceptionsView*>(view->page()), nullptr);
    click(updates);
    EXPECT_TRUE(view->page() && view->width() == PreferencesTabView::kWidth);
}

TEST_F(TabViewTest, UpdatesPageComesFromTheShellWhenGiven) {
    int built = 0;
    context.updatesPage = [&] { return ++built, new QWidget; };
    PreferencesTabView view(context, PreferencesTab::updates);
    EXPECT_EQ(built, 1);
    // A build without an update feed offers nothing to press on that page.
    context.updatesPage = nullptr;
    PreferencesTabView noFeed(context, PreferencesTab::updates);
    EXPECT_TRUE(noFeed.page()->findChildren<QAbstractButton*>().isEmpty());
}

}  // namespace
}  // namespace gm::preferences
