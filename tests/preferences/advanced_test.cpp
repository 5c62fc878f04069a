// The Advanced tab's sliders, value texts and "Reset to defaults".
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <cmath>
#include <limits>

#include "preferences/AdvancedView.h"
#include "preferences/PreferencesTestSupport.h"
#include "preferences/ScrollAdvancedSliderView.h"

namespace gm::preferences {
namespace {

using testing::SettingsFixture;

class AdvancedViewTest : public ::testing::Test {
protected:
    void SetUp() override { testing::qtApp(); }
    QString text(const AdvancedView& view, SliderRow row) { return view.sliders()->valueLabel(row)->text(); }
};

TEST_F(AdvancedViewTest, DefaultValueTexts) {
    SettingsFixture f;
    AdvancedView view(*f.manager);
    EXPECT_EQ(text(view, SliderRow::step), "90px");
    EXPECT_EQ(text(view, SliderRow::duration), "350ms");
    EXPECT_EQ(text(view, SliderRow::accelerationDelta), "50ms");
    EXPECT_EQ(text(view, SliderRow::accelerationLimit), "7x");
}

TEST(ValueText, TruncatesTowardsZeroAndSurvivesValuesNoIntegerHolds) {
    EXPECT_EQ(valueText(95.7, "px"), "95px");
    EXPECT_EQ(valueText(-3.9, "ms"), "-3ms");
    EXPECT_EQ(valueText(0.99, "x"), "0x");
    EXPECT_EQ(valueText(9007199254740993.0, "px"), "9.01e+15px");
    EXPECT_EQ(valueText(1e300, "px"), "1e+300px");
    EXPECT_EQ(valueText(-1e19, "ms"), "-1e+19ms");
    EXPECT_EQ(valueText(std::numeric_limits<double>::infinity(), "px"), "∞px");
    EXPECT_EQ(valueText(-std::numeric_limits<double>::infinity(), "px"), "-∞px");
    EXPECT_EQ(valueText(std::nan(""), "x"), "NaNx");
}

TEST(SliderPosition, OutOfRangeAndNaNSitAtTheEnds) {
    const SliderRowParams& step = sliderRowParams(SliderRow::step);  // 10..150 by 10: positions 0..14
    EXPECT_EQ(sliderPosition(step, 90), 8);
    EXPECT_EQ(sliderPosition(step, 95.7), 9);
    EXPECT_EQ(sliderPosition(step, -1e308), 0);
    EXPECT_EQ(sliderPosition(step, 1e308), 14);
    EXPECT_EQ(sliderPosition(step, std::numeric_limits<double>::infinity()), 14);
    EXPECT_EQ(sliderPosition(step, std::nan("")), 0);
    EXPECT_EQ(valueAtPosition(sliderRowParams(SliderRow::duration), 3), 275.0);
    EXPECT_EQ(valueAtPosition(sliderRowParams(SliderRow::duration), 99), 500.0);
}

TEST_F(AdvancedViewTest, OddStoredValuesAreShownWithoutHarm) {
    settings::GlidemarkSettings odd;
    odd.scrollAdvanced.step = 95.7;
    odd.scrollAdvanced.duration = -40;
    odd.scrollAdvanced.accelerationDelta = 1e300;
    SettingsFixture f(odd);
    AdvancedView view(*f.manager);
    EXPECT_EQ(text(view, SliderRow::step), "95px");
    EXPECT_EQ(text(view, SliderRow::duration), "-40ms");
    EXPECT_EQ(text(view, SliderRow::accelerationDelta), "1e+300ms");
    EXPECT_EQ(view.sliders()->slider(SliderRow::duration)->value(), 0);
    EXPECT_EQ(view.sliders()->slider(SliderRow::accelerationDelta)->value(), 15);
    // Showing them wrote nothing back.
    EXPECT_EQ(f.writes(), 1);  // the fixture's own initial document

    // A NaN cannot be stored, but it can be in memory and must still be drawn.
    auto numbers = f.manager->scrollAdvanced();
    numbers.accelerationLimit = std::nan("");
    f.manager->setScrollAdvanced(numbers);
    EXPECT_EQ(text(view, SliderRow::accelerationLimit), "NaNx");
    EXPECT_TRUE(view.resetButton()->isEnabled());
}

TEST_F(AdvancedViewTest, EachSliderStoresItsSnappedValue) {
    SettingsFixture f;
    AdvancedView view(*f.manager);
    struct Case {
        SliderRow row;
        int position;
        double expected;
        QString text;
    };
    for (const Case& c : {Case{SliderRow::step, 3, 40, "40px"}, Case{SliderRow::duration, 12, 500, "500ms"},
                          Case{SliderRow::accelerationDelta, 0, 0, "0ms"}, Case{SliderRow::accelerationLimit, 14, 15, "15x"}}) {
        SCOPED_TRACE(c.text.toStdString());
        const int writes = f.writes();
        view.sliders()->slider(c.row)->setValue(c.position);
        const SliderRowParams& params = sliderRowParams(c.row);
        EXPECT_EQ(f.stored().scrollAdvanced.*params.field, c.expected);
        EXPECT_EQ(f.manager->scrollAdvanced().*params.field, c.expected);
        EXPECT_EQ(f.writes(), writes + 1);
        EXPECT_EQ(text(view, c.row), c.text);
    }
    EXPECT_EQ(f.stored().scrollAdvanced.accelerationTailToHeadRatio, 3) << "no slider touches it";
}

TEST_F(AdvancedViewTest, ResetIsEnabledOnlyAwayFromTheDefaultsAndRestoresBlockKeysToo) {
    SettingsFixture f;
    AdvancedView view(*f.manager);
    EXPECT_FALSE(view.resetButton()->isEnabled());

    view.sliders()->slider(SliderRow::duration)->setValue(0);
    EXPECT_TRUE(view.resetButton()->isEnabled());
    auto numbers = f.manager->scrollAdvanced();
    numbers.block = {55};
    numbers.dash = 58;
    f.manager->setScrollAdvanced(numbers);

    view.resetButton()->click();
    EXPECT_EQ(f.stored().scrollAdvanced, settings::ScrollAdvanced{});
    EXPECT_EQ(f.stored().scrollAdvanced.block, (std::vector<std::int64_t>{55, 58, 59}));
    EXPECT_FALSE(view.resetButton()->isEnabled());
    EXPECT_EQ(text(view, SliderRow::duration), "350ms");

    // Only the block list differs: still not the defaults.
    numbers = f.manager->scrollAdvanced();
    numbers.block = {55, 58};
    f.manager->setScrollAdvanced(numbers);
    EXPECT_TRUE(view.resetButton()->isEnabled());
}

TEST_F(AdvancedViewTest, FollowsChangesMadeElsewhere) {
    SettingsFixture f;
    AdvancedView view(*f.manager);
    auto numbers = f.manager->scrollAdvanced();
    numbers.step = 120;
    f.manager->setScrollAdvanced(numbers);
    EXPECT_EQ(text(view, SliderRow::step), "120px");
    EXPECT_EQ(view.sliders()->slider(SliderRow::step)->value(), 11);
    EXPECT_TRUE(view.resetButton()->isEnabled());
}

}  // namespace
}  // namespace gm::preferences
