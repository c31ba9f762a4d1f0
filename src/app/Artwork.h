#pragma once
#include <QPixmap>

namespace quolva::app {

// The program's icon, 32 × 32: a screen with a red recording light.
QPixmap programIcon();

// The about box's picture, 113 × 216: a film strip over a blue sky.
QPixmap aboutPicture();

} // namespace quolva::app
