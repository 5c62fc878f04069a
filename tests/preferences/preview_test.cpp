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

TEST(ScrollPreview, OneTickEndsWhereTheEnginesPostsForOneTickAddUpTo) {
    const PreviewCurves curves = computePreviewCurves(settings::ScrollAdvanced{}, true);
    ASSERT_TRUE(curves.valid);
    const auto posted = testing::replayTrace({testing::kScreen60, testing::tick(1.0)},
                                             testing::settingsDocument([](settings::GlidemarkSettings&) {}), 5.0).posted();
    const double expected = -std::accumulate(posted.begin(), posted.end(), 0.0);
    ASSERT_GT(expected, 80);
    EXPECT_DOUBLE_EQ(curves.single.back().px, expected);
    // The curve starts at rest, never goes back, and ends within the time it shows.
    EXPECT_EQ(curves.single.front().px, 0);
    for (std::size_t i = 1; i < curves.single.size(); ++i) EXPECT_GE(curves.single[i].px, curves.single[i - 1].px);
    EXPECT_LE(curves.single.back().ms, curves.spanMs);
}

TEST(ScrollPreview, BurstAcceleratesOnlyWithinTheThresholdAndHugeDurationsStayBounded) {
    const PreviewCurves accelerated = computePreviewCurves(settings::ScrollAdvanced{}, true);
    EXPECT_GT(accelerated.burst.back().px, 5 * accelerated.single.back().px);
    const PreviewCurves plain = computePreviewCurves(settings::ScrollAdvanced{.accelerationDelta = 0}, true);  // "Never"
    EXPECT_NEAR(plain.burst.back().px, 5 * plain.single.back().px, 5.0);

    // It would animate for years; the chart covers one second.
    const PreviewCurves curves = computePreviewCurves(settings::ScrollAdvanced{.duration = 1e12}, false);
    ASSERT_TRUE(curves.valid);
    EXPECT_LE(curves.spanMs, 1000.0);
    EXPECT_LE(curves.single.size(), 70U);
}

// Steps the engine cannot run give no curve; odd ones are drawn by their distance.
TEST(ScrollPreview, OddStepsAreDrawnByTheirDistance) {
    const double usual = computePreviewCurves(settings::ScrollAdvanced{}, true).single.back().px;
    // Scrolling the other way: the same distance.
    EXPECT_DOUBLE_EQ(computePreviewCurves(settings::ScrollAdvanced{.step = -90}, true).single.back().px, usual);
    ScrollPreviewView view;
    view.resize(400, 128);
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    for (double step : {1e300, -1e300, 0.0, std::nan("")}) {
        view.setInputs(settings::ScrollAdvanced{.step = step}, true);
        EXPECT_EQ(view.curves().valid, !std::isnan(step)) << step;
        view.render(&image);  // must neither crash nor hang
    }
}

}  // namespace
}  // namespace gm::preferences
