#pragma once

// What the frame delegate hands to the picture drawing through the slot `qImage`: the processed
// pixels of the part of a frame that the scope can show, and where that part lies in the frame.
//
// Units: frame pixels, origin at the frame's first row and column. `pixels` is
// Format_ARGB32_Premultiplied (B, G, R, A bytes) and covers the frame rectangle
// (origin, pixels.size()); frameSize is the whole frame the camera delivered.
//
// Threads: made on the frame queue, then owned by whoever took it out of the slot.

#include <QImage>
#include <QPoint>
#include <QRectF>
#include <QSize>

namespace imaging {

struct ScopeImage {
    QImage pixels;
    QPoint origin;
    QSize frameSize;

    // The frame rectangle `frameRect` widened to whole pixels and clipped to what this image holds,
    // as a read-only view of `pixels` (no copy; valid while this ScopeImage lives). Null when
    // nothing is left, as a platform crop of an empty or outside rectangle is.
    QImage crop(const QRectF& frameRect) const;
};

} // namespace imaging
