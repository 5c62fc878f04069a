// The Exceptions tab: adding from the picker or a file, duplicates, removal
// and selection, the per-row switch and the per-application panel.
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>

#include "preferences/ExceptionsView.h"
#include "preferences/PreferencesTestSupport.h"
#include "preferences/ScrollAdvancedSliderView.h"
#include "preferences/ScrollPreview.h"
#include "preferences/Widgets.h"
#include "platform/sim/SimDesktop.h"

namespace gm::preferences {
namespace {

using platform::ActivationPolicy;
using testing::SettingsFixture;

std::vector<std::string> bundleIds(const settings::GlidemarkSettings& s) {
    std::vector<std::string> ids;
    for (const auto& e : s.appSettings.exceptionalApplication) ids.push_back(e->bundleId());
    return ids;
}

struct ExceptionsTest : ::testing::Test {
    void SetUp() override {
        using P = ActivationPolicy;
        const std::tuple<std::optional<std::string>, const char*, P> apps[] = {
            {"org.example.Zed", "Zed", P::Regular}, {"org.example.editor", "Atom Editor", P::Regular},
            {"org.example.editor", "Atom Editor", P::Regular},  // a second window of it
            {"org.example.tray", "Tray Agent", P::Accessory}, {std::nullopt, "No Identifier", P::Regular},
            {"org.example.mail", "", P::Regular},  // no name: known by its identifier
            {"org.example.Browser", "Browser", P::Regular}};
        platform::ProcessID pid = 1000;
        for (const auto& [id, name, policy] : apps) desktop.simWorkspace().launch({pid++, id, name, {}, policy});
        context.settingsManager = f.manager.get();
        context.workspace = &desktop.workspace();
        context.chooseApplicationFile = [this](QWidget*) { return ++dialogs, chosenFile; };
    }

    SettingsFixture f;
    platform::sim::SimDesktop desktop;
    PreferencesContext context;
    std::optional<QString> chosenFile;
    int dialogs = 0;
};

TEST_F(ExceptionsTest, PickerOffersUnlistedRegularApplicationsAndAddsTheChosenOneOrAFileOnTop) {
    ExceptionsView view(context);
    view.addApplication("org.example.Zed");
    view.setShowingPopover(true);
    ASSERT_NE(view.picker(), nullptr);
    // "Browse..." first, then by name (or identifier), each application once.
    EXPECT_EQ(view.picker()->rowIds(),
              (std::vector<std::string>{"browse", "org.example.editor", "org.example.Browser", "org.example.mail"}));
    EXPECT_EQ(view.picker()->list()->item(0)->text(), "Browse...");
    EXPECT_EQ(view.picker()->list()->item(3)->text(), "org.example.mail");
    view.picker()->select("org.example.Browser");
    testing::processEvents();  // the picker reports its choice from the event loop

    EXPECT_EQ(bundleIds(f.stored()), (std::vector<std::string>{"org.example.Browser", "org.example.Zed"}));
    EXPECT_FALSE(view.isShowingPopover()) << "choosing closes the picker";
    const auto top = f.manager->settings().appSettings.exceptionalApplication.front();
    EXPECT_EQ(std::tuple(top->scrollBase().smooth, top->inherit(), top->scrollAdvanced()),
              std::tuple(true, true, settings::ScrollAdvanced{}));
    ASSERT_EQ(view.list()->count(), 2);
    ASSERT_NE(view.row("org.example.Browser"), nullptr);
    EXPECT_TRUE(view.row("org.example.Browser")->smoothSwitch()->isChecked());

    // Adding a listed application changes nothing, but closes the picker too.
    const auto before = f.manager->settings().appSettings.exceptionalApplication;
    const int writes = f.writes();
    view.setShowingPopover(true);
    view.addApplication("org.example.Zed");
    EXPECT_EQ(f.writes(), writes);
    EXPECT_EQ(f.manager->settings().appSettings.exceptionalApplication, before);  // the very same objects
    EXPECT_FALSE(view.isShowingPopover());

    // "Browse..." adds the chosen entry and keeps the picker open.
    view.setShowingPopover(true);
    view.addApplication("browse");  // cancelled
    EXPECT_EQ(std::tuple(dialogs, bundleIds(f.manager->settings()).size(), view.isShowingPopover()), std::tuple(1, 2U, true));
    chosenFile = QStringLiteral("/opt/elsewhere/org.example.Viewer.desktop");
    view.addApplication("browse");
    EXPECT_EQ(bundleIds(f.stored()), (std::vector<std::string>{"org.example.Viewer", "org.example.Browser", "org.example.Zed"}));
    EXPECT_TRUE(view.isShowingPopover());
    // A second "Browse..." from the picker opens the dialog again.
    view.picker()->select("browse");
    testing::processEvents();
    EXPECT_EQ(dialogs, 3);
    EXPECT_EQ(bundleIds(f.stored()).size(), 3U);  // the same file again: no duplicate
}

TEST(DesktopEntryId, PathBelowAnApplicationsFolderWithSlashesAsDashes) {
    const QStringList dirs{"/home/u/.local/share/applications", "/usr/share/applications"};
    const std::pair<const char*, const char*> rows[] = {
        {"/usr/share/applications/org.example.Terminal.desktop", "org.example.Terminal"},
        {"/usr/share/applications/utilities/console.desktop", "utilities-console"},
        {"/home/u/.local/share/applications/x.desktop", "x"}, {"/tmp/foo.desktop", "foo"},
        {"/usr/share/applications/readme.txt", ""}, {"/usr/share/applications-extra/y.desktop", "y"}};
    for (const auto& [path, id] : rows) EXPECT_EQ(desktopEntryId(path, dirs), id) << path;
}

TEST_F(ExceptionsTest, RemovingNeedsASelectionAndASelectionLastsWhileItsRowDoes) {
    ExceptionsView view(context);
    for (const char* id : {"a.one", "b.two", "c.three"}) view.addApplication(id);
    EXPECT_FALSE(view.removeButton()->isEnabled());
    const int writes = f.writes();
    view.removeSelected();
    EXPECT_EQ(f.writes(), writes);

    view.setSelectedApp("b.two");
    EXPECT_TRUE(view.selectedApp() == "b.two" && view.removeButton()->isEnabled());
    view.removeButton()->click();
    EXPECT_EQ(bundleIds(f.stored()), (std::vector<std::string>{"c.three", "a.one"}));
    EXPECT_EQ(std::tuple(view.selectedApp(), view.removeButton()->isEnabled(), view.list()->count()),
              std::tuple(std::nullopt, false, 2));
    EXPECT_TRUE(view.list()->selectedItems().isEmpty());

    view.setSelectedApp("a.one");
    view.addApplication("d.four");
    EXPECT_EQ(view.selectedApp(), "a.one") << "a change elsewhere in the list keeps the selection";
    auto app = f.manager->appSettings();
    app.exceptionalApplication.pop_back();  // a.one, removed by someone else
    f.manager->setAppSettings(app);
    EXPECT_TRUE(!view.selectedApp() && !view.removeButton()->isEnabled());
}

TEST_F(ExceptionsTest, EnableSmoothSwitchStoresAndIsAnnounced) {
    ExceptionsView view(context);
    view.addApplication("org.example.Zed");
    int announcements = 0;
    const auto id = f.manager->addObserver([&](const settings::GlidemarkSettings&) { ++announcements; });
    const int writes = f.writes();
    view.row("org.example.Zed")->smoothSwitch()->click();
    EXPECT_FALSE(f.stored().appSettings.exceptionalApplication.front()->scrollBase().smooth);
    // The exception's own hook, then the list written back; announced once.
    EXPECT_EQ(std::tuple(f.writes(), announcements), std::tuple(writes + 2, 1));

    // The status menu flips it on the shared object without announcing; the next redraw shows it.
    f.manager->settings().appSettings.exceptionalApplication.front()->setScrollBase(settings::ScrollBase{.smooth = true});
    f.manager->setScrollBase(f.manager->scrollBase());
    EXPECT_TRUE(view.row("org.example.Zed")->smoothSwitch()->isChecked());
    f.manager->removeObserver(id);
}

TEST_F(ExceptionsTest, PanelSlidersAreDisabledWhileInheritedAndOwnValuesSurvive) {
    ExceptionsView view(context);
    view.show();
    view.addApplication("org.example.Zed");
    ExceptionsAdvancedView* panel = view.row("org.example.Zed")->advanced();
    panel->click();
    ASSERT_TRUE(panel->isShowingPopover());
    ASSERT_NE(panel->sliders(), nullptr);
    const auto stored = [&] { return f.stored().appSettings.exceptionalApplication.front(); };
    const auto stepText = [&] { return panel->sliders()->valueLabel(SliderRow::step)->text(); };
    EXPECT_TRUE(panel->inheritSwitch()->isChecked() && !panel->sliders()->isEnabled() && !panel->resetButton()->isEnabled());

    panel->inheritSwitch()->click();
    EXPECT_TRUE(!stored()->inherit() && panel->sliders()->isEnabled());
    panel->sliders()->slider(SliderRow::step)->setValue(2);  // 30
    // The global value is untouched.
    EXPECT_EQ(std::tuple(stored()->scrollAdvanced().step, f.stored().scrollAdvanced.step, stepText()), std::tuple(30.0, 90.0, "30px"));
    EXPECT_TRUE(panel->resetButton()->isEnabled());
    const double globalEnd = computePreviewCurves(settings::ScrollAdvanced{}, true).single.back().px;
    EXPECT_LT(panel->preview()->curves().single.back().px, globalEnd / 2);

    panel->inheritSwitch()->click();
    EXPECT_FALSE(panel->sliders()->isEnabled());
    EXPECT_EQ(std::tuple(stored()->inherit(), stored()->scrollAdvanced().step, stepText()),
              std::tuple(true, 30.0, QString("30px")));
    // While inherited the preview shows what the application really gets: the global numbers.
    EXPECT_DOUBLE_EQ(panel->preview()->curves().single.back().px, globalEnd);

    panel->inheritSwitch()->click();
    panel->resetButton()->click();
    EXPECT_EQ(stored()->scrollAdvanced(), settings::ScrollAdvanced{});
    EXPECT_TRUE(!panel->resetButton()->isEnabled() && stepText() == "90px");
    EXPECT_TRUE(panel->isShowingPopover());  // editing did not rebuild the row under the open panel
}

TEST_F(ExceptionsTest, NoticeShowsOverTheListOnlyWhenTheDesktopNeedsOne) {
    const auto without = std::make_unique<ExceptionsView>(context);
    EXPECT_EQ(without->notice(), nullptr);
    EXPECT_TRUE(without->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly).isEmpty());
    context.exceptionsNotice = "Exceptions apply only on X11, sway and Hyprland.";
    ExceptionsView view(context);
    view.resize(480, 360);
    view.show();
    QLabel* notice = view.notice();
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->text() == context.exceptionsNotice && notice->isVisible());
    EXPECT_LT(notice->geometry().bottom(), view.list()->mapTo(&view, QPoint(0, 0)).y());
    // Secondary text, not the primary colour of the rows' names.
    EXPECT_NE(notice->palette().color(QPalette::WindowText), view.palette().color(QPalette::WindowText));
}

}  // namespace
}  // namespace gm::preferences
