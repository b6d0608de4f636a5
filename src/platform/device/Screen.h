#pragma once

// The main screen: its size in points and its scale (device pixels per point). Set by the
// window host from its flags; a phone is 320 × 480 points, a tablet 768 × 1024.
//
// Threads: GUI thread only.

#include <QRectF>

#include "platform/core/ThreadChecker.h"

namespace platform {

class Screen {
public:
    static Screen& main();

    QRectF bounds() const { return m_bounds; }
    void setBounds(const QRectF& bounds) { m_bounds = bounds; }
    qreal scale() const { return m_scale; }
    // Ignored unless positive and finite.
    void setScale(qreal scale);

private:
    Screen() = default;

    QRectF m_bounds { 0, 0, 320, 480 };
    qreal m_scale { 2.0 };
    [[no_unique_address]] ThreadChecker m_guiThread;
};

} // namespace platform
