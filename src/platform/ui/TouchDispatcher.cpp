#include "platform/ui/TouchDispatcher.h"

namespace platform {

TouchDispatcher::TouchDispatcher(View& root)
    : m_root(root)
{
}

Touch TouchDispatcher::makeTouch(const QPointF& point, TouchPhase phase) const
{
    return Touch { point, phase, 1, &m_root };
}

View* TouchDispatcher::press(const QPointF& point)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_active)
        cancel();
    View* hit = m_root.hitTest(point);
    m_target = View::Weak(hit);
    m_active = hit != nullptr;
    if (hit)
        hit->touchesBegan(makeTouch(point, TouchPhase::Began));
    return hit;
}

void TouchDispatcher::move(const QPointF& point)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_active)
        return;
    if (View* view = m_target.get())
        view->touchesMoved(makeTouch(point, TouchPhase::Moved));
}

void TouchDispatcher::release(const QPointF& point)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_active)
        return;
    m_active = false;
    if (View* view = m_target.get())
        view->touchesEnded(makeTouch(point, TouchPhase::Ended));
    m_target = {};
}

void TouchDispatcher::cancel()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_active)
        return;
    m_active = false;
    if (View* view = m_target.get())
        view->touchesCancelled(makeTouch({}, TouchPhase::Cancelled));
    m_target = {};
}

View* TouchDispatcher::tap(const QPointF& point)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    View* hit = press(point);
    release(point);
    return hit;
}

bool TouchDispatcher::wheel(const QPointF& point, qreal steps)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    View* hit = m_root.hitTest(point);
    return hit && hit->scrollWheel(hit->convertPointFromRoot(point), steps);
}

} // namespace platform
