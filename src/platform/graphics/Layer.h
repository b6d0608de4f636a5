#pragma once

// A retained drawing surface, as a phone platform's layer system has it: geometry in points,
// a look (background, border, corner radius), ordered sublayers, and optionally a delegate that
// draws the content. Coordinates: origin top-left, y down, in points; contentsScale device pixels
// per point for the cached content.
//
// Threads: setNeedsDisplay() may be called from any thread. Everything else is GUI-thread only.
// A redraw request is delivered on the GUI thread, coalesced: many requests before the redraw give
// one drawLayer call; one request never gives two.

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QTransform>

#include "platform/core/ThreadChecker.h"

class QPainter;

namespace platform {

class GraphicsContext;
class Layer;

class LayerDelegate {
public:
    virtual ~LayerDelegate() = default;
    // Called on the GUI thread; the context's origin is the layer's bounds origin, y down.
    virtual void drawLayer(Layer& layer, GraphicsContext& context) = 0;
};

class Layer : public std::enable_shared_from_this<Layer> {
public:
    static std::shared_ptr<Layer> create();
    virtual ~Layer();

    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    QRectF bounds() const { return m_bounds; }
    void setBounds(const QRectF& bounds);
    // The centre of the bounds (anchor point 0.5, 0.5) in the superlayer's coordinates.
    QPointF position() const { return m_position; }
    void setPosition(const QPointF& position);
    // The rectangle the layer covers in its superlayer (the bounding box when transformed).
    QRectF frame() const;
    void setFrame(const QRectF& frame);

    qreal contentsScale() const { return m_contentsScale; }
    void setContentsScale(qreal scale);
    qreal cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(qreal radius);
    qreal borderWidth() const { return m_borderWidth; }
    void setBorderWidth(qreal width);
    QColor borderColor() const { return m_borderColor; }
    void setBorderColor(const QColor& color);
    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor& color);
    bool isHidden() const { return m_hidden; }
    void setHidden(bool hidden);
    qreal opacity() const { return m_opacity; }
    void setOpacity(qreal opacity);
    bool masksToBounds() const { return m_masksToBounds; }
    void setMasksToBounds(bool masks);
    // Applied about the position, like the platform's affine transform.
    QTransform affineTransform() const { return m_transform; }
    void setAffineTransform(const QTransform& transform);
    // Content shown instead of (or under) the delegate's drawing, stretched over the bounds.
    QImage contents() const { return m_contents; }
    void setContents(const QImage& image);
    // When set, the contents image is shown mirrored left to right.
    bool isContentsMirrored() const { return m_contentsMirrored; }
    void setContentsMirrored(bool mirrored);

    void setDelegate(LayerDelegate* delegate) { m_delegate = delegate; }
    LayerDelegate* delegate() const { return m_delegate; }

    void addSublayer(std::shared_ptr<Layer> layer);
    void removeFromSuperlayer();
    const std::vector<std::shared_ptr<Layer>>& sublayers() const { return m_sublayers; }
    Layer* superlayer() const { return m_superlayer; }

    // Any thread. Marks the content stale and schedules one redraw on the GUI thread.
    void setNeedsDisplay();
    bool needsDisplay() const { return m_needsDisplay.load(std::memory_order_acquire); }
    // GUI thread. Redraws the content through the delegate now if it is stale.
    void displayIfNeeded();
    // Called (GUI thread) after a scheduled redraw of this layer or of any layer below it, and after
    // a visible property of this subtree changed, so a host holding the root can repaint the screen.
    void setDisplayObserver(std::function<void()> observer);
    // How many times the delegate has drawn this layer.
    int displayCount() const { return m_displayCount; }

    // GUI thread. Draws this layer and its sublayers with the painter placed in the superlayer's
    // coordinates (points). Composes what has been drawn; it does not run pending redraws.
    void render(QPainter& painter) const;
    // Renders this layer (its own position and transform left out) and its sublayers into an
    // image of ceil(bounds size × scale) device pixels, for screenshots and tests.
    QImage renderToImage(qreal scale) const;

protected:
    Layer();

private:
    void scheduleDisplay();
    void runScheduledDisplay();
    void notifyObservers() const;
    // Background, contents, drawing, sublayers and border in the layer's own bounds space.
    void renderContent(QPainter& painter) const;
    bool isAncestorOrSelf(const Layer* layer) const;

    QRectF m_bounds;
    QPointF m_position;
    qreal m_contentsScale { 1.0 };
    qreal m_cornerRadius { 0.0 };
    qreal m_borderWidth { 0.0 };
    QColor m_borderColor { Qt::black };
    QColor m_backgroundColor { Qt::transparent };
    bool m_hidden { false };
    qreal m_opacity { 1.0 };
    bool m_masksToBounds { false };
    QTransform m_transform;
    QImage m_contents;
    bool m_contentsMirrored { false };
    LayerDelegate* m_delegate { nullptr };
    std::vector<std::shared_ptr<Layer>> m_sublayers;
    Layer* m_superlayer { nullptr };
    QImage m_cache; // the delegate's drawing at contentsScale
    std::atomic<bool> m_needsDisplay { false };
    std::atomic<bool> m_displayScheduled { false };
    std::function<void()> m_displayObserver;
    int m_displayCount { 0 };
    [[no_unique_address]] ThreadChecker m_guiThread;
};

} // namespace platform
