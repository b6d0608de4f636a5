#pragma once

// The heads-up panel over the camera preview that holds the option buttons. When the device
// turns, the panel turns as a whole and is then moved so that the rectangle it covers on the
// screen starts at originalPosition again: a 232 × 128 panel covers 128 × 232 points in
// landscape with the same top-left corner.
//
// Threads: GUI thread only.

#include <cstdint>

#include <QPointF>
#include <QRectF>

#include "platform/ui/View.h"

namespace ui {

class HUDView : public platform::View {
public:
    // Anchors the panel at the frame's origin. A default-made panel is anchored at (0, 0) until
    // saveOriginalPosition() or setOriginalPosition().
    explicit HUDView(const QRectF& frame = {});

    // Anchors the panel at the top-left corner of its current frame (the bounding rectangle when
    // it is turned).
    void saveOriginalPosition();

    // Turns the panel for a device orientation (1 portrait, 2 upside down, 3 landscape left,
    // 4 landscape right; anything else upright) in the 0.5 s animation "HUDView.chanheOrientation"
    // and puts its bounding rectangle's top-left corner at originalPosition.
    void rotateToOrientation(std::int32_t orientation);

    QPointF originalPosition() const { return m_originalPosition; }
    void setOriginalPosition(const QPointF& position) { m_originalPosition = position; }

private:
    QPointF m_originalPosition;
};

} // namespace ui
