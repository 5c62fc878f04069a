#pragma once
// The four sliders of the numeric scroll parameters, shared by the Advanced
// tab (bound to the global values) and the per-application panel (bound to
// an exception's own values).
#include <QWidget>
#include <array>
#include <functional>

#include "settings/GlidemarkSettings.h"

class QLabel;
class QSlider;

namespace gm::preferences {

enum class SliderRow { step, duration, accelerationDelta, accelerationLimit };
inline constexpr std::array<SliderRow, 4> allSliderRows{SliderRow::step, SliderRow::duration,
                                                        SliderRow::accelerationDelta, SliderRow::accelerationLimit};

struct SliderRowParams {
    const char* label;
    double settings::ScrollAdvanced::*field;
    double minimum;
    double maximum;
    double step;
    const char* leftLabel;
    const char* unit;
    const char* rightLabel;
    const char* help;
};
const SliderRowParams& sliderRowParams(SliderRow row);

// The value as a whole number (truncated towards zero) followed by the unit,
// e.g. "90px". Values no integer can hold are still shown: infinities as
// "∞"/"-∞", magnitudes beyond 1e15 in scientific form, and NaN as "NaN".
QString valueText(double value, const char* unit);

// The slider position (0 .. steps) for a stored value; out-of-range values sit at the nearer end.
int sliderPosition(const SliderRowParams& params, double value);
// The value at a slider position: the lower bound plus a whole number of steps.
double valueAtPosition(const SliderRowParams& params, int position);

// The two-way binding the sliders read and write.
struct ScrollAdvancedBinding {
    std::function<settings::ScrollAdvanced()> get;
    std::function<void(const settings::ScrollAdvanced&)> set;
};

class ScrollAdvancedSliderView : public QWidget {
    Q_OBJECT
public:
    ScrollAdvancedSliderView(ScrollAdvancedBinding binding, int leftColumnSize, int rightColumnSize, bool hints,
                             QWidget* parent = nullptr);

    // Shows these values without writing anything back.
    void display(const settings::ScrollAdvanced& value);

    QSlider* slider(SliderRow row) const;
    QLabel* valueLabel(SliderRow row) const;

private:
    void moved(SliderRow row, int position);

    ScrollAdvancedBinding binding_;
    std::array<QSlider*, 4> sliders_{};
    std::array<QLabel*, 4> values_{};
};

}  // namespace gm::preferences
