#include "preferences/ScrollAdvancedSliderView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

#include "preferences/Widgets.h"

namespace gm::preferences {

namespace {
using settings::ScrollAdvanced;

const std::array<SliderRowParams, 4> kRows{{
    {"Step size:", &ScrollAdvanced::step, 10, 150, 10, "Small", "px", "Large", "How much to scroll for one wheel tick"},
    {"Scrolling speed:", &ScrollAdvanced::duration, 200, 500, 25, "Fast", "ms", "Slow",
     "How long animation lasts after one wheel tick"},
    {"Acceleration threshold:", &ScrollAdvanced::accelerationDelta, 0, 150, 10, "Never", "ms", "Sensitive",
     "Increase acceleration only if inputs arrive within this threshold"},
    {"Acceleration limit:", &ScrollAdvanced::accelerationLimit, 1, 15, 1, "Min", "x", "Max",
     "Maximum scroll acceleration (step * x)"},
}};

constexpr int kRowSpacing = 24;
constexpr int kColumnSpacing = 6;

int positions(const SliderRowParams& params) { return static_cast<int>(std::lround((params.maximum - params.minimum) / params.step)); }
}  // namespace

const SliderRowParams& sliderRowParams(SliderRow row) { return kRows[static_cast<std::size_t>(row)]; }

QString valueText(double value, const char* unit) {
    const QString suffix = QString::fromUtf8(unit);
    if (std::isnan(value)) return QStringLiteral("NaN") + suffix;
    if (std::isinf(value)) return (value < 0 ? QStringLiteral("-∞") : QStringLiteral("∞")) + suffix;
    const double whole = std::trunc(value);
    // Within ±1e15 every whole double is exact and fits an int64; beyond, digits would be noise.
    if (std::fabs(whole) < 1e15) return QString::number(static_cast<qint64>(whole)) + suffix;
    return QString::number(whole, 'g', 3) + suffix;
}

int sliderPosition(const SliderRowParams& params, double value) {
    if (std::isnan(value) || value <= params.minimum) return 0;
    if (value >= params.maximum) return positions(params);
    // In range, so the quotient is small and the conversion is defined.
    return static_cast<int>(std::lround((value - params.minimum) / params.step));
}

double valueAtPosition(const SliderRowParams& params, int position) {
    const int clamped = std::clamp(position, 0, positions(params));
    return params.minimum + clamped * params.step;
}

ScrollAdvancedSliderView::ScrollAdvancedSliderView(ScrollAdvancedBinding binding, int leftColumnSize,
                                                   int rightColumnSize, bool hints, QWidget* parent)
    : QWidget(parent), binding_(std::move(binding)) {
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(kRowSpacing);

    for (SliderRow row : allSliderRows) {
        const SliderRowParams& params = sliderRowParams(row);
        const auto index = static_cast<std::size_t>(row);

        auto* line = new QHBoxLayout;
        line->setSpacing(8);
        auto* label = new QLabel(QString::fromUtf8(params.label), this);
        label->setFixedWidth(leftColumnSize);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

        auto* column = new QVBoxLayout;
        column->setSpacing(kColumnSpacing);
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setRange(0, positions(params));
        slider->setSingleStep(1);
        slider->setPageStep(1);
        slider->setTickPosition(QSlider::NoTicks);
        slider->setAccessibleName(label->text());
        slider->setFixedWidth(rightColumnSize);
        // The label sits level with the slider, not with the texts below it.
        label->setFixedHeight(slider->sizeHint().height());
        column->addWidget(slider);

        auto* texts = new QHBoxLayout;
        texts->setSpacing(4);
        // The end labels in the primary colour, the value between them in the secondary one.
        auto* left = new QLabel(QString::fromUtf8(params.leftLabel), this);
        left->setFont(footnoteFont(left->font()));
        auto* value = makeFootnoteLabel(QString(), this);
        value->setAlignment(Qt::AlignCenter);
        auto* right = new QLabel(QString::fromUtf8(params.rightLabel), this);
        right->setFont(footnoteFont(right->font()));
        right->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        for (QLabel* text : {left, value, right}) text->setWordWrap(false);
        value->setMinimumWidth(0);
        texts->addWidget(left, 1);
        texts->addWidget(value, 1);
        texts->addWidget(right, 1);
        auto* textRow = new QWidget(this);
        textRow->setLayout(texts);
        texts->setContentsMargins(0, 0, 0, 0);
        textRow->setFixedWidth(rightColumnSize);
        column->addWidget(textRow);
        if (hints) {
            auto* help = makeFootnoteLabel(QString::fromUtf8(params.help), this);
            help->setFixedWidth(rightColumnSize);
            column->addWidget(help);
        }

        line->addWidget(label, 0, Qt::AlignTop);
        line->addLayout(column);
        line->addStretch(1);
        rows->addLayout(line);

        sliders_[index] = slider;
        values_[index] = value;
        connect(slider, &QSlider::valueChanged, this, [this, row](int position) { moved(row, position); });
    }
    if (binding_.get) display(binding_.get());
}

void ScrollAdvancedSliderView::display(const settings::ScrollAdvanced& value) {
    for (SliderRow row : allSliderRows) {
        const SliderRowParams& params = sliderRowParams(row);
        const auto index = static_cast<std::size_t>(row);
        const double current = value.*params.field;
        {
            const QSignalBlocker block(sliders_[index]);
            sliders_[index]->setValue(sliderPosition(params, current));
        }
        values_[index]->setText(valueText(current, params.unit));
    }
}

void ScrollAdvancedSliderView::moved(SliderRow row, int position) {
    if (!binding_.get || !binding_.set) return;
    const SliderRowParams& params = sliderRowParams(row);
    settings::ScrollAdvanced value = binding_.get();
    value.*params.field = valueAtPosition(params, position);
    values_[static_cast<std::size_t>(row)]->setText(valueText(value.*params.field, params.unit));
    binding_.set(value);
}

QSlider* ScrollAdvancedSliderView::slider(SliderRow row) const { return sliders_[static_cast<std::size_t>(row)]; }
QLabel* ScrollAdvancedSliderView::valueLabel(SliderRow row) const { return values_[static_cast<std::size_t>(row)]; }

}  // namespace gm::preferences
