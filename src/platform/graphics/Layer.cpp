#include "platform/graphics/Layer.h"

#include <algorithm>
#include <cmath>

#include <QCoreApplication>
#include <QMetaObject>
#include <QPainter>
#include <QPainterPath>

#include "platform/core/Log.h"
#include "platform/graphics/GraphicsContext.h"

namespace platform {

namespace {

// Largest side, in device pixels, of a layer's drawing cache; beyond it a redraw is refused
// rather than attempting a gigantic allocation.
constexpr qreal kMaxCacheSide = 16384;

QPainterPath roundedRect(const QRectF& rect, qreal radius)
{
    QPainterPath path;
    const qreal r = std::clamp<qreal>(radius, 0.0, std::min(rect.width(), rect.height()) / 2);
    if (r > 0)
        path.addRoundedRect(rect, r, r);
    else
        path.addRect(rect);
    return path;
}

} // namespace

std::shared_ptr<Layer> Layer::create()
{
    struct Created : Layer { };
    return std::make_shared<Created>();
}

Layer::Layer() = default;

Layer::~Layer()
{
    for (const auto& sublayer : m_sublayers)
        sublayer->m_superlayer = nullptr;
}

void Layer::setBounds(const QRectF& bounds)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (bounds == m_bounds)
        return;
    m_bounds = bounds;
    notifyObservers();
}

void Layer::setPosition(const QPointF& position)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (position == m_position)
        return;
    m_position = position;
    notifyObservers();
}

QRectF Layer::frame() const
{
    const QRectF centred(-m_bounds.width() / 2, -m_bounds.height() / 2, m_bounds.width(), m_bounds.height());
    return m_transform.mapRect(centred).translated(m_position);
}

void Layer::setFrame(const QRectF& frame)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    const QRectF f = frame.normalized();
    // The bounds size whose transformed bounding box has the frame's size:
    // |m11|·w + |m21|·h = W and |m12|·w + |m22|·h = H. A transform for which this has no single
    // non-negative answer (a 45° turn, say) keeps the size and only moves the layer.
    const qreal a = std::abs(m_transform.m11()), c = std::abs(m_transform.m21());
    const qreal b = std::abs(m_transform.m12()), d = std::abs(m_transform.m22());
    const qreal det = a * d - b * c;
    QSizeF size = m_bounds.size();
    if (std::abs(det) > 1e-9) {
        const qreal w = (d * f.width() - c * f.height()) / det;
        const qreal h = (a * f.height() - b * f.width()) / det;
        if (w >= 0 && h >= 0)
            size = QSizeF(w, h);
    }
    m_position = f.center();
    m_bounds.setSize(size);
    notifyObservers();
}

void Layer::setContentsScale(qreal scale)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!std::isfinite(scale) || scale <= 0 || scale == m_contentsScale)
        return;
    m_contentsScale = scale;
}

void Layer::setCornerRadius(qreal radius)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!std::isfinite(radius) || radius == m_cornerRadius)
        return;
    m_cornerRadius = std::max<qreal>(0, radius);
    notifyObservers();
}

void Layer::setBorderWidth(qreal width)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!std::isfinite(width) || width == m_borderWidth)
        return;
    m_borderWidth = std::max<qreal>(0, width);
    notifyObservers();
}

void Layer::setBorderColor(const QColor& color)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (color == m_borderColor)
        return;
    m_borderColor = color;
    notifyObservers();
}

void Layer::setBackgroundColor(const QColor& color)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (color == m_backgroundColor)
        return;
    m_backgroundColor = color;
    notifyObservers();
}

void Layer::setHidden(bool hidden)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (hidden == m_hidden)
        return;
    m_hidden = hidden;
    notifyObservers();
}

void Layer::setOpacity(qreal opacity)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!std::isfinite(opacity))
        return;
    opacity = std::clamp<qreal>(opacity, 0.0, 1.0);
    if (opacity == m_opacity)
        return;
    m_opacity = opacity;
    notifyObservers();
}

void Layer::setMasksToBounds(bool masks)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (masks == m_masksToBounds)
        return;
    m_masksToBounds = masks;
    notifyObservers();
}

void Layer::setAffineTransform(const QTransform& transform)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (transform == m_transform)
        return;
    m_transform = transform;
    notifyObservers();
}

void Layer::setContents(const QImage& image)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_contents = image;
    notifyObservers();
}

void Layer::setContentsMirrored(bool mirrored)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (mirrored == m_contentsMirrored)
        return;
    m_contentsMirrored = mirrored;
    notifyObservers();
}

bool Layer::isAncestorOrSelf(const Layer* layer) const
{
    for (const Layer* l = this; l; l = l->m_superlayer) {
        if (l == layer)
            return true;
    }
    return false;
}

void Layer::addSublayer(std::shared_ptr<Layer> layer)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!layer || isAncestorOrSelf(layer.get())) {
        logLine(
            lcUi(), QStringLiteral("Layer: refused to add a layer to itself or to one of its own sublayers"));
        return;
    }
    layer->removeFromSuperlayer();
    layer->m_superlayer = this;
    m_sublayers.push_back(std::move(layer));
    notifyObservers();
}

void Layer::removeFromSuperlayer()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    Layer* parent = m_superlayer;
    if (!parent)
        return;
    // The superlayer may hold the last reference to this layer: keep it alive until we are done.
    const std::shared_ptr<Layer> keepAlive = shared_from_this();
    auto& siblings = parent->m_sublayers;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), keepAlive), siblings.end());
    m_superlayer = nullptr;
    parent->notifyObservers();
}

void Layer::setNeedsDisplay()
{
    m_needsDisplay.store(true);
    scheduleDisplay();
}

void Layer::scheduleDisplay()
{
    if (m_displayScheduled.exchange(true))
        return; // a redraw is already on its way and will see the request
    QCoreApplication* app = QCoreApplication::instance();
    const std::weak_ptr<Layer> weak = weak_from_this();
    if (!app || weak.expired()) {
        // Nowhere to deliver the redraw: leave the request for displayIfNeeded().
        m_displayScheduled.store(false);
        return;
    }
    QMetaObject::invokeMethod(
        app,
        [weak] {
            if (const std::shared_ptr<Layer> layer = weak.lock())
                layer->runScheduledDisplay();
        },
        Qt::QueuedConnection);
}

void Layer::runScheduledDisplay()
{
    // Cleared before drawing, so a request made while the delegate draws schedules a new redraw.
    m_displayScheduled.store(false);
    const int before = m_displayCount;
    displayIfNeeded();
    if (m_displayCount != before)
        notifyObservers();
}

void Layer::displayIfNeeded()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_needsDisplay.exchange(false) || !m_delegate)
        return;
    const qreal w = std::ceil(m_bounds.width() * m_contentsScale);
    const qreal h = std::ceil(m_bounds.height() * m_contentsScale);
    if (!(w >= 1 && h >= 1)) {
        m_cache = QImage();
        return;
    }
    if (w > kMaxCacheSide || h > kMaxCacheSide) {
        log(lcUi(), "Layer: %.0f x %.0f pixels is too large to draw", w, h);
        m_cache = QImage();
        return;
    }
    QImage cache(int(w), int(h), QImage::Format_ARGB32_Premultiplied);
    cache.fill(Qt::transparent);
    {
        QPainter painter(&cache);
        // Origin at the bounds origin, y down, user units in points.
        const QTransform base = QTransform::fromTranslate(-m_bounds.x(), -m_bounds.y())
            * QTransform::fromScale(m_contentsScale, m_contentsScale);
        GraphicsContext context(painter, base);
        m_delegate->drawLayer(*this, context);
    }
    m_cache = std::move(cache);
    ++m_displayCount;
}

void Layer::setDisplayObserver(std::function<void()> observer)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_displayObserver = std::move(observer);
}

void Layer::notifyObservers() const
{
    // Copies first: an observer may change the tree it is told about.
    std::vector<std::function<void()>> observers;
    for (const Layer* l = this; l; l = l->m_superlayer) {
        if (l->m_displayObserver)
            observers.push_back(l->m_displayObserver);
    }
    for (const auto& observer : observers)
        observer();
}

void Layer::render(QPainter& painter) const
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_hidden || m_opacity <= 0)
        return;
    painter.save();
    // Bounds space → superlayer: centre the bounds on the origin, transform, move to position.
    const QPointF centre = m_bounds.center();
    painter.setTransform(QTransform::fromTranslate(-centre.x(), -centre.y()) * m_transform
            * QTransform::fromTranslate(m_position.x(), m_position.y()),
        true);
    painter.setOpacity(painter.opacity() * m_opacity);
    renderContent(painter);
    painter.restore();
}

void Layer::renderContent(QPainter& painter) const
{
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const QPainterPath shape = roundedRect(m_bounds, m_cornerRadius);

    if (m_backgroundColor.alpha() > 0)
        painter.fillPath(shape, m_backgroundColor);

    painter.save();
    if (m_masksToBounds)
        painter.setClipPath(shape, Qt::IntersectClip);
    if (!m_contents.isNull()) {
        if (m_contentsMirrored) {
            // Mirror about the bounds' vertical centre line.
            painter.save();
            painter.setTransform(QTransform(-1, 0, 0, 1, m_bounds.left() + m_bounds.right(), 0), true);
            painter.drawImage(m_bounds, m_contents);
            painter.restore();
        } else {
            painter.drawImage(m_bounds, m_contents);
        }
    }
    if (!m_cache.isNull())
        painter.drawImage(m_bounds, m_cache);
    for (const auto& sublayer : m_sublayers)
        sublayer->render(painter);
    painter.restore();

    if (m_borderWidth > 0 && m_borderColor.alpha() > 0) {
        // The border lies inside the bounds, following the corner radius.
        const QRectF inner = m_bounds.adjusted(m_borderWidth, m_borderWidth, -m_borderWidth, -m_borderWidth);
        QPainterPath ring = shape;
        if (inner.width() > 0 && inner.height() > 0)
            ring.addPath(roundedRect(inner, m_cornerRadius - m_borderWidth));
        ring.setFillRule(Qt::OddEvenFill);
        painter.fillPath(ring, m_borderColor);
    }
}

QImage Layer::renderToImage(qreal scale) const
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!std::isfinite(scale) || scale <= 0)
        return {};
    const qreal w = std::ceil(m_bounds.width() * scale);
    const qreal h = std::ceil(m_bounds.height() * scale);
    if (!(w >= 1 && h >= 1) || w > kMaxCacheSide || h > kMaxCacheSide)
        return {};
    QImage image(int(w), int(h), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (m_hidden || m_opacity <= 0)
        return image;
    QPainter painter(&image);
    painter.scale(scale, scale);
    painter.translate(-m_bounds.x(), -m_bounds.y());
    painter.setOpacity(m_opacity);
    renderContent(painter);
    return image;
}

} // namespace platform
