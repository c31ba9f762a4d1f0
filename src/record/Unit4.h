#pragma once
#include <QPoint>
#include <QSize>

namespace quolva::record {

// Where the viewfinder must go so that the pointer stays inside the capture region: at least 50 pixels
// from its left, right and bottom edges and 72 pixels from the window's top edge (title bar included).
// Near the screen's edges the window is pinned: at 0 on the left, at -22 on top (the title bar above the
// screen), and so that it ends at the screen's right and bottom edges. All four tests use the distances
// measured before any move; when the region is narrower than the margins the later test wins.
struct FollowCursorGeometry {
    QPoint pointer;     // on the screen
    QPoint windowPos;   // the window's left and top (outer)
    QSize windowSize;   // outer width and height
    QSize clientSize;   // client width and height
    QSize screenSize;
};

QPoint FollowCursorStep(const FollowCursorGeometry& geometry);

} // namespace quolva::record
