// The live preview: its curves are what the engine posts, and odd inputs
// neither break the drawing nor leave it unbounded.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <numeric>

#include "preferences/PreferencesTestSupport.h"
#include "preferences/ScrollPreview.h"
#include "replay/ReplayHarness.h"

namespace gm::preferences {
namespace {

double postedDistance(const std::vector<std::string>& trace) {
    const auto result = testing::replayTrace(trace, testing::settingsDocument([](settings::GlidemarkSettings&) {}), 5.0);
    const auto deltas = result.posted();
    return -std::accumulate(deltas.begin(), deltas.end(), 0.0);
}

TEST(ScrollPreview, OneTickEndsWhereTheEnginesPostsForOneTickAddUpTo) {
    const PreviewCurves curves = computePreviewCurves(settings::ScrollAdvanced{}, true);
    ASSERT_TRUE(curves.valid);
    const double expected = postedDistance({testing::kScreen60, testing::tick(1.0)});
    ASSERT_GT(expected, 80);
    EXPECT_DOUBLE_EQ(curves.single.back().px, expected);
    // The curve starts at rest, never goes back, and ends within the time it shows.
    EXPECT_EQ(curves.single.front().px, 0);
    for (std::size_t i = 1; i < curves.single.size(); ++i) EXPECT_GE(curves.single[i].px, curves.single[i - 1].px);
    EXPECT_LE(curves.single.back().ms, curves.spanMs);
}

TEST(ScrollPreview, BurstAcceleratesOnlyWhenTicksComeWithinTheThreshold) {
    settings::ScrollAdvanced numbers;
    const PreviewCurves accelerated = computePreviewCurves(numbers, true);
    EXPECT_GT(accelerated.burst.back().px, 5 * accelerated.single.back().px);

    numbers.accelerationDelta = 0;  // "Never"
    const PreviewCurves plain = computePreviewCurves(numbers, true);
    EXPECT_NEAR(plain.burst.back().px, 5 * plain.single.back().px, 5.0);
}

TEST(ScrollPreview, ValuesTheEngineCannotRunGiveNoCurveAndHugeOnesStayBounded) {
    settings::ScrollAdvanced numbers;
    numbers.step = std::nan("");
    EXPECT_FALSE(computePreviewCurves(numbers, true).valid);

    numbers = {};
    numbers.duration = 1e12;  // would animate for years; the chart covers one second
    const PreviewCurves curves = computePreviewCurves(numbers, false);
    ASSERT_TRUE(curves.valid);
    EXPECT_LE(curves.spanMs, 1000.0);
    EXPECT_LE(curves.single.size(), 70U);
}

TEST(ScrollPreview, OddStepsAreDrawnByTheirDistance) {
    testing::qtApp();
    settings::ScrollAdvanced numbers;
    const double usual = computePreviewCurves(numbers, true).single.back().px;
    numbers.step = -90;  // scrolls the other way: the same distance
    EXPECT_DOUBLE_EQ(computePreviewCurves(numbers, true).single.back().px, usual);

    ScrollPreviewView view;
    view.resize(400, 128);
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    for (double step : {1e300, -1e300, 0.0}) {
        numbers.step = step;
        view.setInputs(numbers, true);
        ASSERT_TRUE(view.curves().valid);
        view.render(&image);  // must neither crash nor hang
    }
    numbers.step = std::nan("");
    view.setInputs(numbers, true);
    EXPECT_FALSE(view.curves().valid);
    view.render(&image);
}

}  // namespace
}  // namespace gm::preferences
