#pragma once
// The standard arrow pointer that every recorded frame shows where the pointer was: the real pointer is
// never part of a screen grab, so the grabber draws this picture in, whatever shape the pointer had.

#include <QImage>
#include <QPoint>

namespace quolva::platform {

// Where the pointer's hot spot (the arrow's tip) lies inside the picture.
inline constexpr QPoint kArrowPointerTip{8, 8};

// The picture (32 x 32, ARGB32 premultiplied), loaded once from the platform resources.
const QImage& arrowPointerImage();

// Draws the arrow onto `frame` with the picture's top-left corner at (client.x - 8, client.y - 8), which
// puts the tip on `client`; the parts outside the frame are clipped. `client` is the pointer in the
// frame's own coordinates.
void drawArrowPointer(QImage& frame, QPoint client);

}  // namespace quolva::platform
