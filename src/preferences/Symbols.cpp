#include "preferences/Symbols.h"

#include <QFile>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>
#include <cmath>

// Resources of a static library are only registered when asked for by name,
// and the macro must be used outside any namespace.
static void initSymbolResources() { Q_INIT_RESOURCE(symbols); }

static void registerSymbolResources() {
    static const bool registered = [] {
        initSymbolResources();
        return true;
    }();
    (void)registered;
}

namespace gm::preferences {

namespace {
QString resourcePath(std::string_view name) {
    return QStringLiteral(":/glidemark/symbols/") + QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) +
           QStringLiteral(".svg");
}
}  // namespace

bool hasSymbol(std::string_view name) {
    registerSymbolResources();
    return !name.empty() && QFile::exists(resourcePath(name));
}

QPixmap symbolPixmap(std::string_view name, QSize size, const QColor& color, qreal devicePixelRatio) {
    registerSymbolResources();
    if (!hasSymbol(name) || size.isEmpty()) return {};
    QSvgRenderer renderer(resourcePath(name));
    if (!renderer.isValid()) return {};
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QImage image(QSize(static_cast<int>(std::ceil(size.width() * ratio)), static_cast<int>(std::ceil(size.height() * ratio))),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        // The artwork is drawn in black; keep its coverage and take the colour.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color);
    }
    image.setDevicePixelRatio(ratio);
    return QPixmap::fromImage(image);
}

QIcon symbolIcon(std::string_view name, const QColor& normal, const QColor& disabled) {
    QIcon icon;
    for (int side : {12, 16, 20, 24, 32, 48}) {
        icon.addPixmap(symbolPixmap(name, QSize(side, side), normal), QIcon::Normal);
        icon.addPixmap(symbolPixmap(name, QSize(side, side), disabled), QIcon::Disabled);
    }
    return icon;
}

}  // namespace gm::preferences
