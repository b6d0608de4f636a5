#pragma once

// One finger's touch as the view tree sees it. Locations are in points; the window location is
// in the coordinates of the root of the tree the touch was dispatched to.

#include <QPointF>

namespace platform {

class View;

enum class TouchPhase { Began, Moved, Ended, Cancelled };

struct Touch {
    QPointF windowLocation;
    TouchPhase phase { TouchPhase::Began };
    int tapCount { 1 };
    const View* root { nullptr };

    // The touch's location in the given view's bounds coordinates.
    QPointF locationInView(const View& view) const;
};

} // namespace platform
