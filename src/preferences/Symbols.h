#pragma once
// Small monochrome symbol images shipped with the program, tinted at draw
// time so that they follow the palette (and the accent colour where asked).
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <string_view>

namespace gm::preferences {

// Whether a symbol of that name ships with the program.
bool hasSymbol(std::string_view name);
// The symbol drawn in `color` at `size` logical pixels for the given device
// pixel ratio; an empty pixmap for an unknown name.
QPixmap symbolPixmap(std::string_view name, QSize size, const QColor& color, qreal devicePixelRatio = 1.0);
// An icon whose normal and disabled modes use the palette's text colours.
QIcon symbolIcon(std::string_view name, const QColor& normal, const QColor& disabled);

}  // namespace gm::preferences
