#include "platform/ui/Control.h"

#include <algorithm>

namespace platform {

Control::Control(const QRectF& frame)
    : View(frame)
{
}

void Control::addTarget(const void* target, Action action, ControlEvents events)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!action || events == 0)
        return;
    m_registrations.push_back({ target, std::move(action), events });
}

void Control::removeTarget(const void* target, ControlEvents events)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    for (auto& r : m_registrations)
        if (!target || r.target == target)
            r.events &= ~events;
    m_registrations.erase(std::remove_if(m_registrations.begin(), m_registrations.end(),
                              [](const Registration& r) { return r.events == 0; }),
        m_registrations.end());
}

void Control::sendActionsForControlEvents(ControlEvents events, const Touch* touch)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_enabled)
        return;
    // Actions may add or remove targets, or even destroy this control: work on a copy and stop
    // as soon as the control is gone.
    const std::vector<Registration> registrations = m_registrations;
    const Weak self(this);
    for (const Registration& r : registrations) {
        if (!(r.events & events))
            continue;
        r.action(*this, touch);
        if (!self.get())
            return;
    }
}

void Control::setEnabled(bool enabled)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    if (!enabled) {
        m_tracking = false;
        m_highlighted = false;
    }
    setNeedsDisplay();
}

void Control::setSelected(bool selected)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_selected == selected)
        return;
    m_selected = selected;
    setNeedsDisplay();
}

void Control::setHighlighted(bool highlighted)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_highlighted == highlighted)
        return;
    m_highlighted = highlighted;
    setNeedsDisplay();
}

qreal Control::contentOpacity() const
{
    return m_enabled ? 1.0 : 0.4;
}

bool Control::isTouchInside(const Touch& touch) const
{
    return pointInside(touch.locationInView(*this));
}

void Control::touchesBegan(const Touch& touch)
{
    if (!m_enabled)
        return; // swallowed: a disabled control neither acts nor passes the touch on
    m_tracking = beginTracking(touch);
    if (!m_tracking)
        return;
    m_wasInside = true;
    setHighlighted(true);
    sendActionsForControlEvents(ControlEventTouchDown, &touch);
}

void Control::touchesMoved(const Touch& touch)
{
    if (!m_tracking || !m_enabled)
        return;
    const bool inside = isTouchInside(touch);
    setHighlighted(inside);
    continueTracking(touch);
    ControlEvents events = inside ? ControlEventTouchDragInside : ControlEventTouchDragOutside;
    if (inside != m_wasInside)
        events |= inside ? ControlEventTouchDragEnter : ControlEventTouchDragExit;
    m_wasInside = inside;
    sendActionsForControlEvents(events, &touch);
}

void Control::touchesEnded(const Touch& touch)
{
    if (!m_tracking || !m_enabled)
        return;
    m_tracking = false;
    setHighlighted(false);
    const Weak self(this);
    endTracking(touch);
    if (!self.get())
        return;
    sendActionsForControlEvents(
        isTouchInside(touch) ? ControlEventTouchUpInside : ControlEventTouchUpOutside, &touch);
}

void Control::touchesCancelled(const Touch& touch)
{
    if (!m_tracking)
        return;
    m_tracking = false;
    setHighlighted(false);
    sendActionsForControlEvents(ControlEventTouchCancel, &touch);
}

bool Control::beginTracking(const Touch&)
{
    return true;
}
void Control::continueTracking(const Touch&)
{
}
void Control::endTracking(const Touch&)
{
}

} // namespace platform
