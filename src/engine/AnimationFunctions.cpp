#include "engine/AnimationFunctions.h"

#include <cmath>

namespace gm::engine {

double AnimationFunctions::viscousFluid(double t) {
    if (t < 0) return 0;
    if (t > 1) return 1;
    const double x = 3.0 * t;
    double y;
    if (x < 1) {
        y = x - (1 - std::exp(-x));
    } else {
        // e^-1 and 1 - e^-1: both branches meet at x = 1.
        y = 0.36787944117144233 + (1 - std::exp(-(x - 1))) * 0.6321205588285577;
    }
    return y * kViscousFluidNormalize;
}

}  // namespace gm::engine
