#pragma once

// Turns pointer input (a mouse, or a script's taps) into touches on a view tree: a press
// hit-tests the root and the touch then belongs to the view it hit, which gets the moves and
// the release even outside its bounds. If that view goes away mid-touch the rest is dropped.
// Points are in the root view's coordinates (points, not device pixels).
//
// Threads: GUI thread only.

#include <QPointF>

#include "platform/core/ThreadChecker.h"
#include "platform/ui/View.h"

namespace platform {

class TouchDispatcher {
public:
    explicit TouchDispatcher(View& root);

    // Returns the view the touch began on (null when nothing took it).
    View* press(const QPointF& point);
    void move(const QPointF& point);
    void release(const QPointF& point);
    void cancel();
    // A press and release at one point.
    View* tap(const QPointF& point);
    // A wheel step at a point; true when a view used it.
    bool wheel(const QPointF& point, qreal steps);

    bool isTouching() const { return m_active; }

private:
    Touch makeTouch(const QPointF& point, TouchPhase phase) const;

    View& m_root;
    View::Weak m_target;
    bool m_active { false };
    [[no_unique_address]] ThreadChecker m_guiThread;
};

} // namespace platform
