#include "ui/HUDView.h"

#include <QString>
#include <QTransform>

#include "platform/device/InterfaceTurn.h"

namespace ui {

HUDView::HUDView(const QRectF& frame)
    : platform::View(frame)
    , m_originalPosition(frame.topLeft())
{
}

void HUDView::saveOriginalPosition()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_originalPosition = frame().topLeft();
}

void HUDView::rotateToOrientation(std::int32_t orientation)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    // Portrait, unknown, face up and face down are all upright.
    const float angle = platform::interfaceTurnForOrientation(orientation).value_or(0.0f);

    View::beginAnimations(QStringLiteral("HUDView.chanheOrientation"));
    View::setAnimationDuration(0.5);
    setTransform(angle == 0.0f ? QTransform() : QTransform().rotateRadians(angle));
    // The frame is now the turned panel's bounding rectangle; anchor it at the same corner.
    setFrame(QRectF(m_originalPosition, frame().size()));
    View::commitAnimations();
}

} // namespace ui
