#include "platform/ui/ScrollView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/ScrollViewDelegate.h"

namespace platform {

ScrollView::ScrollView(const QRectF& frame)
    : View(frame)
{
    setClipsToBounds(true);
}

void ScrollView::setContentSize(const QSizeF& size)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!std::isfinite(size.width()) || !std::isfinite(size.height()))
        return;
    m_contentSize = size.expandedTo(QSizeF(0, 0));
    setContentOffset(contentOffset());
}

QPointF ScrollView::clampedOffset(const QPointF& offset) const
{
    const QSizeF view = bounds().size();
    const qreal maxX = std::max<qreal>(0, m_contentSize.width() - view.width());
    const qreal maxY = std::max<qreal>(0, m_contentSize.height() - view.height());
    return QPointF(std::clamp<qreal>(offset.x(), 0, maxX), std::clamp<qreal>(offset.y(), 0, maxY));
}

void ScrollView::setContentOffset(const QPointF& offset)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!std::isfinite(offset.x()) || !std::isfinite(offset.y()))
        return;
    QRectF b = bounds();
    b.moveTopLeft(clampedOffset(offset));
    setBounds(b);
}

void ScrollView::setMinimumZoomScale(qreal scale)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!std::isfinite(scale) || scale <= 0)
        return;
    m_minimumZoomScale = scale;
    m_maximumZoomScale = std::max(m_maximumZoomScale, scale);
}

void ScrollView::setMaximumZoomScale(qreal scale)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!std::isfinite(scale) || scale <= 0)
        return;
    m_maximumZoomScale = scale;
    m_minimumZoomScale = std::min(m_minimumZoomScale, scale);
}

void ScrollView::setZoomScale(qreal scale, bool animated)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!std::isfinite(scale))
        return;
    if (animated)
        View::beginAnimations(QStringLiteral("ScrollView.zoom"));
    applyZoom(scale);
    setContentOffset(contentOffset());
    if (animated)
        View::commitAnimations();
}

void ScrollView::applyZoom(qreal scale)
{
    scale = std::clamp(scale, m_minimumZoomScale, m_maximumZoomScale);
    View* zoomView = m_delegate ? m_delegate->viewForZooming(*this) : nullptr;
    if (!zoomView || zoomView->superview() != this) {
        m_zoomScale = scale;
        return;
    }
    m_zoomScale = scale;
    zoomView->setTransform(QTransform::fromScale(scale, scale));
    const QRectF frame = zoomView->frame();
    zoomView->setFrame(QRectF(QPointF(0, 0), frame.size()));
    setContentSize(frame.size());
    if (m_delegate)
        m_delegate->scrollViewDidZoom(*this);
}

void ScrollView::zoomAt(qreal scale, const QPointF& point)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!std::isfinite(scale) || !std::isfinite(point.x()) || !std::isfinite(point.y()))
        return;
    const qreal before = m_zoomScale;
    const QPointF inView = point - contentOffset(); // where the point is on screen
    applyZoom(scale);
    const qreal ratio = before > 0 ? m_zoomScale / before : 1.0;
    setContentOffset(point * ratio - inView);
}

void ScrollView::touchesBegan(const Touch& touch)
{
    m_dragging = true;
    m_lastDragPoint = touch.windowLocation;
}

void ScrollView::touchesMoved(const Touch& touch)
{
    if (!m_dragging)
        return;
    // The drag is measured in root coordinates and turned into this view's units, so a zoomed
    // or turned ancestor does not change how far the content follows the finger.
    const QPointF from = convertPointFromRoot(m_lastDragPoint);
    const QPointF to = convertPointFromRoot(touch.windowLocation);
    m_lastDragPoint = touch.windowLocation;
    setContentOffset(contentOffset() - (to - from));
}

void ScrollView::touchesEnded(const Touch&)
{
    m_dragging = false;
}

void ScrollView::touchesCancelled(const Touch&)
{
    m_dragging = false;
}

bool ScrollView::scrollWheel(const QPointF& point, qreal steps)
{
    if (m_maximumZoomScale <= m_minimumZoomScale)
        return View::scrollWheel(point, steps);
    zoomAt(m_zoomScale * std::pow(wheelZoomStep, steps), point);
    return true;
}

} // namespace platform
