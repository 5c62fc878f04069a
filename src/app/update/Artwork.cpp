#include "app/update/Artwork.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace gm::update {

QPixmap glidemarkIcon(int size) {
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    if (qApp && !QApplication::windowIcon().isNull()) return QApplication::windowIcon().pixmap(size, size);
    QPixmap pixmap(static_cast<int>(size * ratio), static_cast<int>(size * ratio));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QLinearGradient tile(0, 0, 0, s);
    tile.setColorAt(0, QColor(0x4f, 0x9c, 0xf9));
    tile.setColorAt(1, QColor(0x1f, 0x5f, 0xd6));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92), s * 0.22, s * 0.22);
    // The mouse: a rounded body with a split between the buttons and a wheel.
    const QRectF body(s * 0.32, s * 0.18, s * 0.36, s * 0.62);
    p.setBrush(Qt::white);
    p.drawRoundedRect(body, s * 0.18, s * 0.18);
    p.setPen(QPen(QColor(0x1f, 0x5f, 0xd6), s * 0.025, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(s * 0.5, s * 0.18), QPointF(s * 0.5, s * 0.40));
    p.drawLine(QPointF(s * 0.32, s * 0.40), QPointF(s * 0.68, s * 0.40));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5f, 0xd6));
    p.drawRoundedRect(QRectF(s * 0.475, s * 0.245, s * 0.05, s * 0.1), s * 0.025, s * 0.025);
    return pixmap;
}

QFont titleFont() {
    QFont font = QApplication::font();
    font.setPointSizeF(font.pointSizeF() * 1.7);
    font.setWeight(QFont::DemiBold);
    return font;
}

QFont calloutFont() {
    QFont font = QApplication::font();
    font.setPointSizeF(font.pointSizeF() * 0.95);
    return font;
}

QFont footnoteFont() {
    QFont font = QApplication::font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    return font;
}

void makeSecondary(QLabel* label) {
    QPalette palette = label->palette();
    const QColor text = palette.color(QPalette::WindowText);
    const QColor window = palette.color(QPalette::Window);
    auto mix = [](int a, int b) { return (a * 55 + b * 45) / 100; };
    palette.setColor(QPalette::WindowText,
                     QColor(mix(text.red(), window.red()), mix(text.green(), window.green()), mix(text.blue(), window.blue())));
    label->setPalette(palette);
}

}  // namespace gm::update
