#pragma once
// The program's own images, kept as SVG in the resources and rendered at the
// size and pixel ratio they are shown at, so they stay sharp on any screen.
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace gm::app::artwork {

// The program's icon: a mouse gliding forward. Used by the HUD, the alerts and About.
inline const QString kGlidemouse = QStringLiteral(":/glidemark/Glidemouse.svg");
// The tray symbol: a plain mouse, one light shape ringed in dark, so that it
// reads on light and on dark panels alike.
inline const QString kMenuMouse = QStringLiteral(":/glidemark/menu-mouse.svg");

QPixmap pixmap(const QString& resource, QSize logicalSize, qreal devicePixelRatio = 1.0);
// An icon with the common tray sizes rendered up front.
QIcon icon(const QString& resource);
// The tray symbol with a small dot in its top right corner: an update is waiting.
QIcon badgedMenuIcon();

}  // namespace gm::app::artwork
