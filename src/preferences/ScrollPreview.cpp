#include "preferences/ScrollPreview.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "preferences/Widgets.h"
#include "replay/Replay.h"
#include "settings/SettingsCodec.h"

namespace gm::preferences {

namespace {

constexpr double kFirstTick = 0.1;         // virtual seconds; the engine is up from 0
constexpr double kLongestSpan = 1.0;       // seconds shown at most, whatever the duration
constexpr double kSettle = 3.0 / 60.0;     // a few frames after the last fiber should end

std::string tickLine(double t) {
    return R"({"t":)" + nlohmann::json(t).dump() +
           R"(,"kind":"scroll","fields":{"11":-1,"93":-1,"96":-10},"location":[200,200]})";
}

// Distance over time of the posts of one run, starting from zero at the first tick.
std::vector<PreviewPoint> runTicks(const std::string& document, int ticks, double until) {
    std::vector<std::string> trace{R"({"t":0,"kind":"screen","id":1,"frame":[0,0,1920,1080],"hz":60})"};
    for (int i = 0; i < ticks; ++i) trace.push_back(tickLine(kFirstTick + i * kBurstIntervalMs / 1000.0));
    replay::Options options;
    options.settingsDocument = document;
    options.until = until;

    std::vector<PreviewPoint> points{{0, 0}};
    double position = 0;
    replay::run(
        trace, options,
        [&](const std::string& line) {
            // Only posts move the content; skip the others without parsing them.
            if (line.find(R"("kind":"post")") == std::string::npos) return;
            auto parsed = nlohmann::json::parse(line, nullptr, false);
            if (parsed.is_discarded()) return;
            const double t = parsed.value("t", 0.0);
            const double delta = parsed["fields"].value("96", 0.0);
            position -= delta;  // the ticks scroll down
            // Distance travelled, whichever way a negative step sends it.
            points.push_back({(t - kFirstTick) * 1000.0, std::fabs(position)});
        },
        [](const std::string&) {});
    return points;
}

bool finite(const settings::ScrollAdvanced& v) {
    return std::isfinite(v.step) && std::isfinite(v.duration) && std::isfinite(v.accelerationDelta) &&
           std::isfinite(v.accelerationLimit) && std::isfinite(v.accelerationTailToHeadRatio);
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool sameNumbers(const settings::ScrollAdvanced& a, const settings::ScrollAdvanced& b) {
    // Bitwise, so that a NaN compares equal to itself and is not recomputed on every redraw.
    return sameBits(a.step, b.step) && sameBits(a.duration, b.duration) &&
           sameBits(a.accelerationDelta, b.accelerationDelta) && sameBits(a.accelerationLimit, b.accelerationLimit) &&
           sameBits(a.accelerationTailToHeadRatio, b.accelerationTailToHeadRatio);
}

QString axisNumber(double value) {
    if (!std::isfinite(value)) return QStringLiteral("∞");
    if (std::fabs(value) >= 1e6) return QString::number(value, 'g', 2);
    return QString::number(value, 'f', 0);
}

// A round upper bound for an axis, close above the value so the curve fills the chart.
double niceCeiling(double value) {
    if (!(value > 0) || !std::isfinite(value)) return 1;
    const double magnitude = std::pow(10.0, std::floor(std::log10(value)));
    for (double m : {1.0, 1.5, 2.0, 2.5, 3.0, 4.0, 5.0, 6.0, 8.0, 10.0})
        if (m * magnitude >= value) return m * magnitude;
    return 10 * magnitude;
}

}  // namespace

PreviewCurves computePreviewCurves(const settings::ScrollAdvanced& numbers, bool easing) {
    PreviewCurves curves;
    if (!finite(numbers)) return curves;
    settings::GlidemarkSettings record;
    record.scrollAdvanced = numbers;
    record.scrollBase.animationEasing = easing;
    auto document = settings::encode(record);
    if (!document) return curves;

    const double duration = std::clamp(numbers.duration / 1000.0, 0.0, kLongestSpan);
    const double burstLength = (kBurstTicks - 1) * kBurstIntervalMs / 1000.0;
    const double span = std::min(kLongestSpan, duration + burstLength + kSettle);
    curves.single = runTicks(*document, 1, kFirstTick + span);
    curves.burst = runTicks(*document, kBurstTicks, kFirstTick + span);
    curves.spanMs = span * 1000.0;
    curves.valid = true;
    return curves;
}

ScrollPreviewView::ScrollPreviewView(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMinimumHeight(sizeHint().height());
}

void ScrollPreviewView::setInputs(const settings::ScrollAdvanced& numbers, bool easing) {
    if (hasInputs_ && easing == easing_ && sameNumbers(numbers, numbers_)) return;
    hasInputs_ = true;
    numbers_ = numbers;
    easing_ = easing;
    QElapsedTimer timer;
    timer.start();
    curves_ = computePreviewCurves(numbers, easing);
    lastComputeMs_ = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    update();
}

void ScrollPreviewView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QColor secondary = secondaryTextColor(pal);
    const QFont small = footnoteFont(font());
    painter.setFont(small);

    if (!curves_.valid) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(greyFill(pal, 0.10));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
        painter.setPen(secondary);
        painter.drawText(rect(), Qt::AlignCenter, tr("No preview for these values"));
        return;
    }

    // Two charts side by side, each on its own scale: one tick would be a
    // flat line next to a burst that goes several times as far.
    // An orange that holds up on light and dark windows alike, apart from the accent blue.
    const QColor burst = QColor::fromHsv(28, 200, pal.color(QPalette::Window).lightness() < 128 ? 250 : 215);
    constexpr int kGap = 8;
    const int half = (width() - kGap) / 2;
    drawChart(painter, QRect(0, 0, half, height()), curves_.single, accentColor(pal), tr("1 tick"));
    drawChart(painter, QRect(half + kGap, 0, width() - half - kGap, height()), curves_.burst, burst,
              tr("%1 ticks, %2 ms apart").arg(kBurstTicks).arg(kBurstIntervalMs));
}

void ScrollPreviewView::drawChart(QPainter& painter, const QRect& area, const std::vector<PreviewPoint>& points,
                                  const QColor& color, const QString& caption) const {
    const QPalette& pal = palette();
    const QColor secondary = secondaryTextColor(pal);
    const QFontMetrics metrics(painter.font());

    painter.setPen(Qt::NoPen);
    painter.setBrush(greyFill(pal, 0.10));
    painter.drawRoundedRect(QRectF(area).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);

    double top = 1;
    for (const auto& p : points)
        if (std::isfinite(p.px)) top = std::max(top, p.px);
    const double yMax = niceCeiling(top);
    const double xMax = std::max(1.0, curves_.spanMs);

    const QString yTop = axisNumber(yMax) + QStringLiteral(" px");
    const int left = area.left() + 8 + std::max(metrics.horizontalAdvance(yTop), metrics.horizontalAdvance(QStringLiteral("0 px"))) + 5;
    const int right = area.right() - 10;
    const int plotTop = area.top() + 8 + metrics.height() + 6;  // room for the caption
    const int bottom = area.bottom() - 6 - metrics.height();
    if (right - left < 20 || bottom - plotTop < 20) return;
    const QRectF plot(left, plotTop, right - left, bottom - plotTop);

    // Caption, with a swatch of the curve's colour.
    painter.setPen(QPen(color, 2.2, Qt::SolidLine, Qt::RoundCap));
    const int captionY = area.top() + 8 + metrics.height() / 2;
    painter.drawLine(QPointF(area.left() + 10, captionY), QPointF(area.left() + 22, captionY));
    painter.setPen(pal.color(QPalette::WindowText));
    painter.drawText(QPoint(area.left() + 27, area.top() + 8 + metrics.ascent()), caption);

    // Axes with their end values.
    painter.setPen(QPen(secondary, 1));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    painter.drawLine(plot.bottomLeft(), plot.topLeft());
    QColor grid = secondary;
    grid.setAlphaF(0.35F);
    painter.setPen(QPen(grid, 1, Qt::DotLine));
    painter.drawLine(plot.topLeft(), plot.topRight());
    painter.setPen(secondary);
    painter.drawText(QRectF(area.left(), plot.top() - metrics.height() / 2.0, left - area.left() - 5, metrics.height()),
                     Qt::AlignRight | Qt::AlignVCenter, yTop);
    painter.drawText(QRectF(area.left(), plot.bottom() - metrics.height() / 2.0, left - area.left() - 5, metrics.height()),
                     Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("0 px"));
    const QRectF xLabels(plot.left(), plot.bottom() + 2, plot.width(), metrics.height());
    painter.drawText(xLabels, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("0"));
    painter.drawText(xLabels, Qt::AlignRight | Qt::AlignTop, axisNumber(xMax) + QStringLiteral(" ms"));

    if (points.empty()) return;
    auto map = [&](const PreviewPoint& p) {
        const double x = plot.left() + std::clamp(p.ms / xMax, 0.0, 1.0) * plot.width();
        // A distance too large for a double (a hand-edited step) is drawn at the top.
        const double ratio = std::isfinite(p.px) ? std::clamp(p.px / yMax, 0.0, 1.0) : 1.0;
        const double y = plot.bottom() - ratio * plot.height();
        return QPointF(x, y);
    };
    // Each post moves the content at once, so the position is a staircase.
    QPainterPath path(map(points.front()));
    for (std::size_t i = 1; i < points.size(); ++i) {
        const QPointF next = map(points[i]);
        path.lineTo(QPointF(next.x(), path.currentPosition().y()));
        path.lineTo(next);
    }
    path.lineTo(QPointF(plot.right(), path.currentPosition().y()));
    painter.setPen(QPen(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

}  // namespace gm::preferences
