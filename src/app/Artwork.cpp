#include "app/Artwork.h"

#include <QPainter>
#include <QSvgRenderer>
#include <cmath>

// The images are compiled into this static library; registering them by hand
// keeps the linker from dropping them as unreferenced.
static void registerResources() { Q_INIT_RESOURCE(glidemark); }

namespace gm::app::artwork {

QPixmap pixmap(const QString& resource, QSize logicalSize, qreal devicePixelRatio) {
    static const bool registered = (registerResources(), true);
    (void)registered;
    const QSize device(static_cast<int>(std::lround(logicalSize.width() * devicePixelRatio)),
                       static_cast<int>(std::lround(logicalSize.height() * devicePixelRatio)));
    QPixmap result(device);
    result.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    if (renderer.isValid()) {
        QPainter painter(&result);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    result.setDevicePixelRatio(devicePixelRatio);
    return result;
}

QIcon icon(const QString& resource) {
    QIcon result;
    for (int side : {16, 22, 24, 32, 48, 64}) result.addPixmap(pixmap(resource, QSize(side, side)));
    return result;
}

QIcon badgedMenuIcon() {
    QIcon result;
    for (int side : {16, 22, 24, 32, 48, 64}) {
        QPixmap image = pixmap(kMenuMouse, QSize(side, side));
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal dot = side * 0.42;
        const QRectF where(side - dot - 0.5, 0.5, dot, dot);
        // A dark ring keeps the dot visible on light panels, the red on dark ones.
        painter.setPen(QPen(QColor(0, 0, 0, 200), std::max(1.0, side / 16.0)));
        painter.setBrush(QColor(0xE5, 0x39, 0x35));
        painter.drawEllipse(where);
        painter.end();
        result.addPixmap(image);
    }
    return result;
}

}  // namespace gm::app::artwork
