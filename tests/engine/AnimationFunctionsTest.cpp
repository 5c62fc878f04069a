// The easing curve: clamping, reference values, the whole-step end point and shape.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/AnimationFunctions.h"

namespace gm::engine {
namespace {

using F = AnimationFunctions;

TEST(AnimationFunctions, ReferenceValuesClampingTheWholeStepEndPointAndSixtyPointsInTwelfths) {
    struct Row { double t, value, tolerance; };
    const Row rows[] = {{-1e300, 0, 0},      {-0.5, 0, 0},        {0, 0, 0},           {0.1, 0.0446, 5e-5},
                        {0.2, 0.1627, 5e-5}, {1.0 / 3.0, 0.4023, 5e-5}, {0.5, 0.6743, 5e-5}, {0.75, 0.8955, 5e-5},
                        {0.9, 0.9673, 5e-5}, {1.0, 0.9999999999999999, 0}, {1.5, 1, 0}, {1e300, 1, 0}};
    for (const Row& r : rows) EXPECT_NEAR(F::viscousFluid(r.t), r.value, r.tolerance) << "t = " << r.t;
    for (double t : {-0.5, 0.25, 1.5}) EXPECT_EQ(F::linear(t), t) << "linear is not clamped";
    // A finished fiber still covers its whole distance once rounded.
    for (double step : {1.0, 40.0, 90.0, 100.0, 1000.0, 65536.0})
        EXPECT_EQ(std::round(step * F::viscousFluid(1.0)), step) << step;
    // Sixty points in twelfths.
    const double expected[] = {2, 7, 15, 24, 33, 40, 46, 50, 54, 56, 58, 60};
    for (int k = 1; k <= 12; ++k)
        EXPECT_EQ(std::round(60 * F::viscousFluid(k / 12.0)), expected[k - 1]) << "k = " << k;
}

TEST(AnimationFunctions, IncreasingAndContinuous) {
    double previous = F::viscousFluid(0.0);
    for (int i = 1; i <= 10000; ++i) {
        const double v = F::viscousFluid(i / 10000.0);
        ASSERT_GT(v, previous) << "at " << i / 10000.0;
        previous = v;
    }
    // Both branches meet at a third of the way.
    const double third = 1.0 / 3.0, at = F::viscousFluid(third);
    EXPECT_NEAR(F::viscousFluid(std::nextafter(third, 0.0)), at, 1e-12);
    EXPECT_NEAR(at, std::exp(-1.0) * F::kViscousFluidNormalize, 1e-15);
}

}  // namespace
}  // namespace gm::engine
