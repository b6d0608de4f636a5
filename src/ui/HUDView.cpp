#include "ui/HUDView.h"

#include <numbers>

#include <QString>
#include <QTransform>

namespace ui {

HUDView::HUDView(const QRectF& frame)
    : platform::View(frame)
    , m_originalPosition(frame.topLeft())
{
}

void HUDView::saveOriginalPosition()
{
    m_originalPosition = frame().topLeft();
}

void HUDView::rotateToOrientation(std::int32_t orientation)
{
    // Single-precision radians, positive clockwise on screen (y points down).
    float angle = 0.0f;
    switch (orientation) {
    case 2:
        angle = std::numbers::pi_v<float>;
        break;
    case 3:
        angle = std::numbers::pi_v<float> / 2;
        break;
    case 4:
        angle = -std::numbers::pi_v<float> / 2;
        break;
    default:
        break; // portrait, unknown, face up and face down are all upright
    }

    View::beginAnimations(QStringLiteral("HUDView.chanheOrientation"));
    View::setAnimationDuration(0.5);
    setTransform(angle == 0.0f ? QTransform() : QTransform().rotateRadians(angle));
    // The frame is now the turned panel's bounding rectangle; anchor it at the same corner.
    setFrame(QRectF(m_originalPosition, frame().size()));
    View::commitAnimations();
}

} // namespace ui
