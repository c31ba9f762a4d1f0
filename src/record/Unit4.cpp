#include "record/Unit4.h"

#include <algorithm>

namespace quolva::record {

QPoint FollowCursorStep(const FollowCursorGeometry& g)
{
    const int px = g.pointer.x();
    const int py = g.pointer.y();
    const int dx = px - g.windowPos.x();
    const int dy = py - g.windowPos.y();
    int left = g.windowPos.x();
    int top = g.windowPos.y();

    if (dx < 50) {
        left = px - 50;
        if (px <= 50)
            left = 0;
    }
    if (dy < 72) {
        top = py - 72;
        if (py <= 72)
            top = std::max(-22, -g.clientTop);
    }
    if (dx > g.clientSize.width() - 50) {
        left = px - g.windowSize.width() + 50;
        if (px >= g.screenSize.width() - 50)
            left = g.screenSize.width() - g.windowSize.width();
    }
    if (dy > g.clientSize.height() - 50) {
        top = py - g.windowSize.height() + 50;
        if (py >= g.screenSize.height() - 50)
            top = g.screenSize.height() - g.windowSize.height();
    }
    return {left, top};
}

} // namespace quolva::record
