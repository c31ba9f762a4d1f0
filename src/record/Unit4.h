#pragma once
#include <QPoint>
#include <QSize>

namespace quolva::record {

// Where the viewfinder must go so that the pointer stays inside the capture region: at least 50 pixels
// from its left, right and bottom edges and 72 pixels from the window's top edge (title bar included).
// Near the screen's edges the window is pinned: at 0 on the left, at -22 on top (the title bar above the
// screen), and so that it ends at the screen's right and bottom edges. All four tests use the distances
// measured before any move; when the region is narrower than the margins the later test wins. The pin
// at -22 is meant to leave the title bar above the screen and the client area at its top: a shorter title
// bar, or none (a region that is never shown), never takes the client area above the screen.
struct FollowCursorGeometry {
    QPoint pointer;     // on the screen
    QPoint windowPos;   // the window's left and top (outer)
    QSize windowSize;   // outer width and height
    QSize clientSize;   // client width and height
    QSize screenSize;
    int clientTop = 0;  // the client area's top within the window (frame edge and title bar)
};

QPoint FollowCursorStep(const FollowCursorGeometry& geometry);

} // namespace quolva::record
