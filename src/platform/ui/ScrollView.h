#pragma once

// A view that shows a part of a larger content area and may zoom one subview.
//
// The content offset is the bounds origin: the content point shown at the top-left corner. It
// stays within [0, contentSize - bounds size] (0 when the content is smaller). Zooming scales the
// delegate's zoom view by zoomScale about its top-left corner, which stays at the content
// origin, and makes the content size the zoom view's frame size. zoomScale stays within
// [minimumZoomScale, maximumZoomScale]. A drag scrolls; a wheel step (or pinch) zooms about the
// pointer, keeping the content point under it in place.
//
// Threads: GUI thread only.

#include <QPointF>
#include <QSizeF>

#include "platform/ui/View.h"

namespace platform {

class ScrollViewDelegate;

class ScrollView : public View {
public:
    static constexpr qreal wheelZoomStep = 1.25; // zoom factor of one wheel notch

    explicit ScrollView(const QRectF& frame = {});

    QSizeF contentSize() const { return m_contentSize; }
    void setContentSize(const QSizeF& size);
    QPointF contentOffset() const { return bounds().topLeft(); }
    void setContentOffset(const QPointF& offset);

    qreal minimumZoomScale() const { return m_minimumZoomScale; }
    void setMinimumZoomScale(qreal scale);
    qreal maximumZoomScale() const { return m_maximumZoomScale; }
    void setMaximumZoomScale(qreal scale);
    qreal zoomScale() const { return m_zoomScale; }
    void setZoomScale(qreal scale, bool animated = false);
    // Zooms to `scale` keeping the content point under `point` (bounds coordinates) in place.
    void zoomAt(qreal scale, const QPointF& point);

    void setDelegate(ScrollViewDelegate* delegate) { m_delegate = delegate; }
    ScrollViewDelegate* delegate() const { return m_delegate; }

    void touchesBegan(const Touch& touch) override;
    void touchesMoved(const Touch& touch) override;
    void touchesEnded(const Touch& touch) override;
    void touchesCancelled(const Touch& touch) override;
    bool scrollWheel(const QPointF& point, qreal steps) override;

private:
    QPointF clampedOffset(const QPointF& offset) const;
    void applyZoom(qreal scale);

    QSizeF m_contentSize;
    qreal m_minimumZoomScale { 1.0 };
    qreal m_maximumZoomScale { 1.0 };
    qreal m_zoomScale { 1.0 };
    ScrollViewDelegate* m_delegate { nullptr };
    QPointF m_lastDragPoint; // in root coordinates
    bool m_dragging { false };
};

} // namespace platform
