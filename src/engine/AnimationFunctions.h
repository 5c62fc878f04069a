#pragma once
// Progress (0...1 of a tick's duration) to covered fraction of its distance.

namespace gm::engine {

using AnimationFunction = double (*)(double progress);

struct AnimationFunctions {
    // Reciprocal of the un-normalised curve at progress 1, so the curve ends at (almost exactly) 1.
    static constexpr double kViscousFluidNormalize = 1.093551367343517;

    // Starts gently, is steepest at a third of the duration, then settles
    // exponentially; clamped to 0 below 0 and to 1 above 1.
    static double viscousFluid(double progress);
    // Identity, unclamped.
    static double linear(double progress) { return progress; }
};

}  // namespace gm::engine
