#pragma once
// A small chart of scroll position over time for the values being edited:
// one wheel tick, and a quick burst of five ticks 30 ms apart. The curves are
// what the real engine posts for those ticks on a simulated 60 Hz screen.
#include <QColor>
#include <QWidget>
#include <vector>

#include "settings/GlidemarkSettings.h"

class QPainter;

namespace gm::preferences {

struct PreviewPoint {
    double ms;  // since the first tick
    double px;  // distance scrolled so far
};

struct PreviewCurves {
    bool valid = false;  // false when the values cannot be run (a number that is not finite)
    std::vector<PreviewPoint> single;
    std::vector<PreviewPoint> burst;
    double spanMs = 0;  // the time the chart covers
};

inline constexpr int kBurstTicks = 5;
inline constexpr double kBurstIntervalMs = 30;

// Runs the engine for the given numbers and easing switch.
PreviewCurves computePreviewCurves(const settings::ScrollAdvanced& numbers, bool easing);

class ScrollPreviewView : public QWidget {
    Q_OBJECT
public:
    explicit ScrollPreviewView(QWidget* parent = nullptr);

    // Recomputes when the numbers or the easing switch differ from the last ones.
    void setInputs(const settings::ScrollAdvanced& numbers, bool easing);
    const PreviewCurves& curves() const { return curves_; }
    // How long the last computation took, in milliseconds.
    double lastComputeMs() const { return lastComputeMs_; }

    QSize sizeHint() const override { return {360, 128}; }
    QSize minimumSizeHint() const override { return {200, 110}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawChart(QPainter& painter, const QRect& area, const std::vector<PreviewPoint>& points, const QColor& color,
                   const QString& caption) const;

    bool hasInputs_ = false;
    settings::ScrollAdvanced numbers_;
    bool easing_ = true;
    PreviewCurves curves_;
    double lastComputeMs_ = 0;
};

}  // namespace gm::preferences
