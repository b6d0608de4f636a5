#pragma once

// A view that turns touches into control events and sends them to registered targets
// (target-action). A disabled control tracks no touches and sends nothing.
//
// Threads: GUI thread only.

#include <functional>
#include <vector>

#include "platform/ui/ControlEvent.h"
#include "platform/ui/View.h"

namespace platform {

class Control : public View {
public:
    // The action gets the sender and, for touch events, the touch (null otherwise).
    using Action = std::function<void(Control& sender, const Touch* touch)>;

    explicit Control(const QRectF& frame = {});

    // `target` identifies the registration for removal; it is never dereferenced.
    void addTarget(const void* target, Action action, ControlEvents events);
    // Removes the target's actions for the given events; a null target removes everyone's.
    void removeTarget(const void* target, ControlEvents events = ControlEventAllEvents);
    // Calls, in registration order, every action registered for any of `events`.
    void sendActionsForControlEvents(ControlEvents events, const Touch* touch = nullptr);

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    bool isHighlighted() const { return m_highlighted; }
    bool isTracking() const { return m_tracking; }

    void touchesBegan(const Touch& touch) override;
    void touchesMoved(const Touch& touch) override;
    void touchesEnded(const Touch& touch) override;
    void touchesCancelled(const Touch& touch) override;

protected:
    // Tracking hooks, with the touch already known to concern this enabled control. Returning
    // false from beginTracking ignores the rest of the touch.
    virtual bool beginTracking(const Touch& touch);
    virtual void continueTracking(const Touch& touch);
    virtual void endTracking(const Touch& touch);
    bool isTouchInside(const Touch& touch) const;
    void setHighlighted(bool highlighted);
    qreal contentOpacity() const override;

private:
    struct Registration {
        const void* target;
        Action action;
        ControlEvents events;
    };
    std::vector<Registration> m_registrations;
    bool m_enabled { true };
    bool m_selected { false };
    bool m_highlighted { false };
    bool m_tracking { false };
    bool m_wasInside { false };
};

} // namespace platform
