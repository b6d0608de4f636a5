#include "platform/ui/Slider.h"

#include <algorithm>
#include <cmath>

#include <QPainter>

#include "platform/ui/Animator.h"

namespace platform {

namespace {

constexpr qreal kThumbDiameter = 28.0; // points
constexpr qreal kTrackHeight = 4.0; // points
constexpr double kGlideSeconds = 0.2; // an animated setValue

} // namespace

Slider::Slider(const QRectF& frame)
    : Control(frame)
{
}

void Slider::setValue(float value, bool animated)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (std::isnan(value))
        return;
    value = std::clamp(value, m_minimum, m_maximum);
    if (value == m_value)
        return;
    if (animated && Animator::instance().isEnabled()) {
        m_animatedFrom = displayedValue();
        m_animationStart = Animator::instance().now();
    } else {
        m_animationStart = -1.0;
    }
    m_value = value;
    setNeedsDisplay();
}

void Slider::setMinimumValue(float minimum)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (std::isnan(minimum))
        return;
    m_minimum = minimum;
    m_maximum = std::max(m_maximum, minimum);
    m_value = std::clamp(m_value, m_minimum, m_maximum);
    setNeedsDisplay();
}

void Slider::setMaximumValue(float maximum)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (std::isnan(maximum))
        return;
    m_maximum = maximum;
    m_minimum = std::min(m_minimum, maximum);
    m_value = std::clamp(m_value, m_minimum, m_maximum);
    setNeedsDisplay();
}

bool Slider::slideForScript(float value)
{
    if (!isEnabled())
        return false;
    setValueFromUser(value, nullptr);
    sendActionsForControlEvents(ControlEventTouchUpInside);
    return true;
}

float Slider::displayedValue() const
{
    if (m_animationStart < 0)
        return m_value;
    const double t = (Animator::instance().now() - m_animationStart) / kGlideSeconds;
    if (t >= 1.0)
        return m_value;
    return m_animatedFrom + (m_value - m_animatedFrom) * float(std::max(0.0, t));
}

QRectF Slider::thumbRect() const
{
    const QRectF b = bounds();
    const qreal travel = std::max<qreal>(0, b.width() - kThumbDiameter);
    const float range = m_maximum - m_minimum;
    const qreal fraction = range > 0 ? (displayedValue() - m_minimum) / range : 0.0;
    return QRectF(
        b.left() + fraction * travel, b.center().y() - kThumbDiameter / 2, kThumbDiameter, kThumbDiameter);
}

float Slider::valueAt(const QPointF& point) const
{
    const QRectF b = bounds();
    const qreal travel = b.width() - kThumbDiameter;
    if (travel <= 0)
        return m_minimum;
    const qreal fraction = std::clamp((point.x() - b.left() - kThumbDiameter / 2) / travel, 0.0, 1.0);
    return m_minimum + float(fraction) * (m_maximum - m_minimum);
}

void Slider::setValueFromUser(float value, const Touch* touch)
{
    const float before = m_value;
    setValue(value);
    if (m_value != before)
        sendActionsForControlEvents(ControlEventValueChanged, touch);
}

bool Slider::beginTracking(const Touch& touch)
{
    const QPointF p = touch.locationInView(*this);
    if (!thumbRect().adjusted(-8, -8, 8, 8).contains(p))
        setValueFromUser(valueAt(p), &touch);
    return true;
}

void Slider::continueTracking(const Touch& touch)
{
    setValueFromUser(valueAt(touch.locationInView(*this)), &touch);
}

void Slider::paintContent(QPainter& painter) const
{
    const QRectF b = bounds();
    const QRectF thumb = thumbRect();
    const qreal y = b.center().y() - kTrackHeight / 2;
    const QRectF minTrack(
        b.left() + kThumbDiameter / 2, y, thumb.center().x() - b.left() - kThumbDiameter / 2, kTrackHeight);
    const QRectF maxTrack(
        thumb.center().x(), y, b.right() - kThumbDiameter / 2 - thumb.center().x(), kTrackHeight);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2f, 0x7f, 0xef));
    painter.drawRoundedRect(minTrack, kTrackHeight / 2, kTrackHeight / 2);
    painter.setBrush(QColor(0xb8, 0xb8, 0xb8));
    painter.drawRoundedRect(maxTrack, kTrackHeight / 2, kTrackHeight / 2);
    painter.setBrush(Qt::white);
    painter.setPen(QPen(QColor(0, 0, 0, isHighlighted() ? 110 : 60), 1.0));
    painter.drawEllipse(thumb.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.restore();
    if (m_animationStart >= 0 && displayedValue() != m_value)
        setNeedsDisplay(); // keep the host repainting while the thumb glides
}

} // namespace platform
