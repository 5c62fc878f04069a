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

QString text(const AdvancedView& view, SliderRow row) { return view.sliders()->valueLabel(row)->text(); }
QStringList texts(const AdvancedView& view) {
    QStringList out;
    for (SliderRow row : {SliderRow::step, SliderRow::duration, SliderRow::accelerationDelta, SliderRow::accelerationLimit})
        out << text(view, row);
    return out;
}

TEST(ValueText, TruncatesTowardsZeroAndSurvivesValuesNoIntegerHolds) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const std::tuple<double, const char*, QString> rows[] = {
        {95.7, "px", "95px"},     {-3.9, "ms", "-3ms"},          {0.99, "x", "0x"},
        {9007199254740993.0, "px", "9.01e+15px"}, {1e300, "px", "1e+300px"}, {-1e19, "ms", "-1e+19ms"},
        {kInf, "px", "∞px"},      {-kInf, "px", "-∞px"},         {std::nan(""), "x", "NaNx"}};
    for (const auto& [value, unit, expected] : rows) EXPECT_EQ(valueText(value, unit), expected) << value;
}

TEST(SliderPosition, OutOfRangeAndNaNSitAtTheEnds) {
    const SliderRowParams& step = sliderRowParams(SliderRow::step);  // 10..150 by 10: positions 0..14
    const std::pair<double, int> rows[] = {{90, 8}, {95.7, 9}, {-1e308, 0}, {1e308, 14},
                                           {std::numeric_limits<double>::infinity(), 14}, {std::nan(""), 0}};
    for (const auto& [value, position] : rows) EXPECT_EQ(sliderPosition(step, value), position) << value;
    EXPECT_EQ(valueAtPosition(sliderRowParams(SliderRow::duration), 3), 275.0);
    EXPECT_EQ(valueAtPosition(sliderRowParams(SliderRow::duration), 99), 500.0);
}

TEST(AdvancedView, OddStoredValuesAreShownWithoutHarm) {
    settings::GlidemarkSettings odd;
    odd.scrollAdvanced = {.step = 95.7, .duration = -40, .accelerationDelta = 1e300};
    SettingsFixture f(odd);
    AdvancedView view(*f.manager);
    EXPECT_EQ(texts(view), (QStringList{"95px", "-40ms", "1e+300ms", "7x"}));
    EXPECT_EQ(view.sliders()->slider(SliderRow::duration)->value(), 0);
    EXPECT_EQ(view.sliders()->slider(SliderRow::accelerationDelta)->value(), 15);
    EXPECT_EQ(f.writes(), 1) << "showing them wrote nothing back (1 is the fixture's own document)";

    // A NaN cannot be stored, but it can be in memory and must still be drawn.
    auto numbers = f.manager->scrollAdvanced();
    numbers.accelerationLimit = std::nan("");
    f.manager->setScrollAdvanced(numbers);
    EXPECT_EQ(text(view, SliderRow::accelerationLimit), "NaNx");
    EXPECT_TRUE(view.resetButton()->isEnabled());
}

TEST(AdvancedView, EachSliderStoresItsSnappedValue) {
    SettingsFixture f;
    AdvancedView view(*f.manager);
    EXPECT_EQ(texts(view), (QStringList{"90px", "350ms", "50ms", "7x"}));
    const std::tuple<SliderRow, int, double, QString> rows[] = {
        {SliderRow::step, 3, 40, "40px"}, {SliderRow::duration, 12, 500, "500ms"},
        {SliderRow::accelerationDelta, 0, 0, "0ms"}, {SliderRow::accelerationLimit, 14, 15, "15x"}};
    for (const auto& [row, position, expected, shown] : rows) {
        SCOPED_TRACE(shown.toStdString());
        const int writes = f.writes();
        view.sliders()->slider(row)->setValue(position);
        const SliderRowParams& params = sliderRowParams(row);
        EXPECT_EQ(f.stored().scrollAdvanced.*params.field, expected);
        EXPECT_EQ(f.manager->scrollAdvanced().*params.field, expected);
        EXPECT_EQ(f.writes(), writes + 1);
        EXPECT_EQ(text(view, row), shown);
    }
    EXPECT_EQ(f.stored().scrollAdvanced.accelerationTailToHeadRatio, 3) << "no slider touches it";
}

TEST(AdvancedView, ResetIsEnabledOnlyAwayFromTheDefaultsAndRestoresBlockKeysToo) {
    SettingsFixture f;
    AdvancedView view(*f.manager);
    EXPECT_FALSE(view.resetButton()->isEnabled());
    view.sliders()->slider(SliderRow::duration)->setValue(0);
    EXPECT_TRUE(view.resetButton()->isEnabled());
    // Changes made elsewhere are followed.
    auto numbers = f.manager->scrollAdvanced();
    numbers.step = 120;
    numbers.block = {55};
    numbers.dash = 58;
    f.manager->setScrollAdvanced(numbers);
    EXPECT_EQ(text(view, SliderRow::step), "120px");
    EXPECT_EQ(view.sliders()->slider(SliderRow::step)->value(), 11);

    view.resetButton()->click();
    EXPECT_EQ(f.stored().scrollAdvanced, settings::ScrollAdvanced{});
    EXPECT_EQ(f.stored().scrollAdvanced.block, (std::vector<std::int64_t>{55, 58, 59}));
    EXPECT_FALSE(view.resetButton()->isEnabled());
    EXPECT_EQ(texts(view), (QStringList{"90px", "350ms", "50ms", "7x"}));

    // Only the block list differs: still not the defaults.
    numbers = f.manager->scrollAdvanced();
    numbers.block = {55, 58};
    f.manager->setScrollAdvanced(numbers);
    EXPECT_TRUE(view.resetButton()->isEnabled());
}

}  // namespace
}  // namespace gm::preferences
