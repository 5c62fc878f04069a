#include "app/HUDView.h"

#include <QFontMetrics>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "app/Artwork.h"

namespace gm::app {

HUDView::HUDView(QString message, std::optional<QString> systemImage, QWidget* parent)
    : QWidget(parent), message_(std::move(message)), systemImage_(std::move(systemImage)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QFont HUDView::messageFont() const {
    QFont font = this->font();
    font.setPixelSize(kMessagePixelSize);
    font.setWeight(QFont::Medium);
    return font;
}

QSize HUDView::iconSize() const {
    // A themed symbol is drawn at text size; the artwork has its own frame.
    return systemImage_ ? QSize(kSymbolPixelSize, kSymbolPixelSize) : QSize(kArtworkSide, kArtworkSide);
}

QSize HUDView::contentSize() const {
    const QFontMetrics metrics(messageFont());
    const QSize text(metrics.horizontalAdvance(message_), metrics.height());
    const QSize icon = iconSize();
    return {std::max(icon.width(), text.width()), icon.height() + kSpacing + text.height()};
}

QSize HUDView::sizeHint() const { return contentSize() + QSize(2 * kPadding, 2 * kPadding); }

QRect HUDView::panelRect() const {
    QRect panel(QPoint(0, 0), sizeHint());
    panel.moveCenter(rect().center());
    return panel;
}

QRect HUDView::iconRect() const {
    const QRect panel = panelRect();
    QRect icon(QPoint(0, 0), iconSize());
    icon.moveCenter(QPoint(panel.center().x(), 0));
    icon.moveTop(panel.top() + kPadding);
    return icon;
}

QRect HUDView::textRect() const {
    const QRect panel = panelRect();
    const QRect icon = iconRect();
    return {panel.left() + kPadding, icon.bottom() + 1 + kSpacing, panel.width() - 2 * kPadding,
            QFontMetrics(messageFont()).height()};
}

void HUDView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    // A frosted panel in the desktop's own colours: the window colour, mostly
    // opaque, with the text colour for the line of text.
    QColor background = palette().color(QPalette::Window);
    background.setAlphaF(0.86F);
    QPainterPath panel;
    panel.addRoundedRect(QRectF(panelRect()), kCornerRadius, kCornerRadius);
    painter.fillPath(panel, background);
    QColor rim = palette().color(QPalette::WindowText);
    rim.setAlphaF(0.12F);
    painter.setPen(QPen(rim, 1.0));
    painter.drawPath(panel);
    painter.setClipPath(panel);

    const QRect icon = iconRect();
    const qreal ratio = devicePixelRatioF();
    if (systemImage_) {
        painter.drawPixmap(icon, QIcon::fromTheme(*systemImage_).pixmap(icon.size(), ratio));
    } else {
        painter.drawPixmap(icon, artwork::pixmap(artwork::kGlidemouse, icon.size(), ratio));
    }

    painter.setFont(messageFont());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(textRect(), Qt::AlignHCenter | Qt::AlignVCenter, message_);
}

}  // namespace gm::app
