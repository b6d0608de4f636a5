#pragma once

// A horizontal slider. The value stays within [minimum, maximum]. Dragging the thumb (or
// pressing on the track, which moves the thumb there) sends value-changed for each change, and
// touch-up-inside or touch-up-outside when the drag ends.
//
// Threads: GUI thread only.

#include "platform/ui/Control.h"

namespace platform {

class Slider : public Control {
public:
    explicit Slider(const QRectF& frame = {});

    float value() const { return m_value; }
    // Clamped into range; NaN is ignored. Sends no event (only user drags do). With animated the
    // thumb glides to its place over a short time.
    void setValue(float value, bool animated = false);
    float minimumValue() const { return m_minimum; }
    // Raising the minimum above the maximum raises the maximum too; the value is re-clamped.
    void setMinimumValue(float minimum);
    float maximumValue() const { return m_maximum; }
    void setMaximumValue(float maximum);

    // Scripted control: moves the value as a drag would, then ends the drag. Returns false when
    // the slider is disabled (and does nothing).
    bool slideForScript(float value);

    // The thumb's rectangle in bounds coordinates, where value is drawn.
    QRectF thumbRect() const;

protected:
    bool beginTracking(const Touch& touch) override;
    void continueTracking(const Touch& touch) override;
    void paintContent(QPainter& painter) const override;

private:
    float valueAt(const QPointF& point) const;
    void setValueFromUser(float value, const Touch* touch);
    float displayedValue() const;

    float m_value { 0.0f };
    float m_minimum { 0.0f };
    float m_maximum { 1.0f };
    float m_animatedFrom { 0.0f };
    double m_animationStart { -1.0 };
};

} // namespace platform
