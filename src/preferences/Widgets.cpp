#include "preferences/Widgets.h"

#include <QFrame>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QThread>
#include <algorithm>

namespace gm::preferences {

namespace {
QFont scaled(const QFont& base, qreal factor, qreal minimum) {
    QFont font = base;
    if (base.pointSizeF() > 0) font.setPointSizeF(std::max(minimum, base.pointSizeF() * factor));
    else if (base.pixelSize() > 0) font.setPixelSize(std::max(static_cast<int>(minimum), static_cast<int>(base.pixelSize() * factor)));
    return font;
}

QColor blend(const QColor& a, const QColor& b, qreal towardsB) {
    const qreal t = std::clamp(towardsB, 0.0, 1.0);
    auto mix = [t](float x, float y) { return static_cast<float>(static_cast<double>(x) * (1 - t) + static_cast<double>(y) * t); };
    return QColor::fromRgbF(mix(a.redF(), b.redF()), mix(a.greenF(), b.greenF()), mix(a.blueF(), b.blueF()));
}
}  // namespace

QFont footnoteFont(const QFont& base) { return scaled(base, 0.85, 7.0); }
QFont captionFont(const QFont& base) { return scaled(base, 0.85, 7.0); }
QFont title3Font(const QFont& base) { return scaled(base, 1.15, 9.0); }

QColor secondaryTextColor(const QPalette& palette) {
    return blend(palette.color(QPalette::WindowText), palette.color(QPalette::Window), 0.42);
}

QColor greyFill(const QPalette& palette, qreal opacity) {
    // Grey at low opacity lightens a dark window and darkens a light one alike.
    QColor grey(128, 128, 128);
    grey.setAlphaF(static_cast<float>(std::clamp(opacity, 0.0, 1.0)));
    (void)palette;
    return grey;
}

QColor accentColor(const QPalette& palette) { return palette.color(QPalette::Active, QPalette::Highlight); }

QLabel* makeFootnoteLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(footnoteFont(label->font()));
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    QPalette palette = label->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        QPalette p = palette;
        p.setCurrentColorGroup(group);
        palette.setColor(group, QPalette::PlaceholderText, secondaryTextColor(p));
    }
    // Disabled, it must not stand out more than the disabled labels around it.
    palette.setColor(QPalette::Disabled, QPalette::PlaceholderText,
                     blend(palette.color(QPalette::Disabled, QPalette::WindowText), palette.color(QPalette::Window), 0.35));
    label->setPalette(palette);
    return label;
}

QWidget* makeDivider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    line->setFixedHeight(1);
    return line;
}

// ---- SwitchButton --------------------------------------------------------------

SwitchButton::SwitchButton(const QString& text, QWidget* parent) : QAbstractButton(parent) {
    setText(text);
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
}

QSize SwitchButton::sizeHint() const {
    const QFontMetrics metrics(font());
    int width = kTrackWidth + 2;
    if (!text().isEmpty()) width += kGap + metrics.horizontalAdvance(text()) + 2;
    return {width, std::max(kTrackHeight + 4, metrics.height() + 4)};
}

void SwitchButton::setOnSelection(bool onSelection) {
    if (onSelection == onSelection_) return;
    onSelection_ = onSelection;
    update();
}

bool SwitchButton::hitButton(const QPoint& pos) const { return rect().contains(pos); }

QRectF SwitchButton::trackRect() const {
    // The label comes first and the switch right after it, as on the system's own switches.
    const int textWidth = text().isEmpty() ? 0 : QFontMetrics(font()).horizontalAdvance(text()) + kGap;
    return {textWidth + 1.0, (height() - kTrackHeight) / 2.0, static_cast<qreal>(kTrackWidth), static_cast<qreal>(kTrackHeight)};
}

void SwitchButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const bool enabled = isEnabled();

    if (!text().isEmpty()) {
        painter.setPen(pal.color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        painter.drawText(QRect(0, 0, width(), height()), Qt::AlignLeft | Qt::AlignVCenter, text());
    }

    const QRectF track = trackRect();
    QColor trackColor = isChecked() ? accentColor(pal) : blend(pal.color(QPalette::Window), pal.color(QPalette::WindowText), 0.28);
    if (onSelection_) {
        // On a selected row the accent is the background: lighten "on", darken "off".
        trackColor = isChecked() ? QColor(255, 255, 255, 110) : QColor(0, 0, 0, 70);
    }
    QColor knobColor = isChecked() ? QColor(Qt::white) : blend(pal.color(QPalette::Window), QColor(Qt::white), 0.85);
    if (!enabled) {
        trackColor.setAlphaF(0.4F);
        knobColor.setAlphaF(0.7F);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(trackColor);
    painter.drawRoundedRect(track, kTrackHeight / 2.0, kTrackHeight / 2.0);

    const qreal knob = kTrackHeight - 4;
    const qreal knobX = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    painter.setBrush(knobColor);
    painter.setPen(QPen(QColor(0, 0, 0, enabled ? 60 : 30), 0.6));
    painter.drawEllipse(QRectF(knobX, track.top() + 2, knob, knob));

    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = track.toAlignedRect().adjusted(-2, -2, 2, 2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

// ---- ClickableLabel --------------------------------------------------------------

ClickableLabel::ClickableLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setCursor(Qt::PointingHandCursor);
}

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && pressed_) {
        pressed_ = false;
        if (rect().contains(event->position().toPoint())) emit clicked();
        event->accept();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

// ---- SettingsObservation --------------------------------------------------------------

SettingsObservation::SettingsObservation(settings::SettingsManager& manager, QObject* context, Callback callback)
    : manager_(manager) {
    QPointer<QObject> guard(context);
    id_ = manager_.addObserver([guard, callback = std::move(callback)](const settings::GlidemarkSettings& value) {
        if (!guard) return;
        if (QThread::currentThread() == guard->thread()) {
            callback(value);
        } else {
            QMetaObject::invokeMethod(guard.data(), [callback, value] { callback(value); }, Qt::QueuedConnection);
        }
    });
}

SettingsObservation::~SettingsObservation() { manager_.removeObserver(id_); }

}  // namespace gm::preferences
