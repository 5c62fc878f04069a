#pragma once
#include <QColor>
#include <QFont>
#include <QPixmap>

class QLabel;

namespace gm::update {

// Glidemark's icon: the application's window icon when the shell has set one, otherwise a
// drawn stand-in (a mouse on a blue tile) so these windows never show an empty square.
QPixmap glidemarkIcon(int size);

// Text roles shared by the update window and the About and Updates views.
QFont titleFont();
QFont calloutFont();
QFont footnoteFont();
void makeSecondary(QLabel* label);  // the dimmer colour of explanatory text

}  // namespace gm::update
