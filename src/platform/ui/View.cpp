#include "platform/ui/View.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include <QPainter>
#include <QPainterPath>

#include "platform/graphics/Layer.h"
#include "platform/ui/Animator.h"

namespace platform {

namespace {

std::atomic<quint64> g_sceneRevision { 0 };

bool isFinite(const QPointF& p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

bool isFinite(const QRectF& r)
{
    return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width())
        && std::isfinite(r.height()) && r.width() >= 0 && r.height() >= 0;
}

bool isFinite(const QTransform& t)
{
    for (qreal v : { t.m11(), t.m12(), t.m13(), t.m21(), t.m22(), t.m23(), t.m31(), t.m32(), t.m33() })
        if (!std::isfinite(v))
            return false;
    return true;
}

// The map from bounds coordinates to the superview's coordinates for given values.
QTransform mapToSuperview(const QPointF& center, const QRectF& bounds, const QTransform& transform)
{
    const QPointF bc = bounds.center();
    return QTransform::fromTranslate(-bc.x(), -bc.y()) * transform
        * QTransform::fromTranslate(center.x(), center.y());
}

} // namespace

View::Weak::Weak(View* view)
    : m_view(view)
    , m_alive(view ? std::weak_ptr<void>(view->m_alive) : std::weak_ptr<void>())
{
}

View::View(const QRectF& frame)
    : m_layer(Layer::create())
{
    const QRectF safe = isFinite(frame) ? frame : QRectF();
    m_layer->setBounds(QRectF(QPointF(0, 0), safe.size()));
    m_layer->setPosition(safe.center());
    m_layer->setDisplayObserver([] { noteSceneChanged(); });
}

View::~View()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    Animator::instance().forget(*this);
    m_layer->setDisplayObserver({});
    // Children first, detached so that they do not reach back into a half-destroyed parent.
    std::vector<Child> children;
    children.swap(m_children);
    for (Child& child : children)
        child.view->m_superview = nullptr;
    children.clear();
    if (m_superview) {
        auto& siblings = m_superview->m_children;
        auto it = std::find_if(
            siblings.begin(), siblings.end(), [this](const Child& c) { return c.view == this; });
        if (it != siblings.end()) {
            (void)it->owned.release(); // we are being destroyed by whoever held us
            siblings.erase(it);
        }
        m_superview = nullptr;
    }
    noteSceneChanged();
}

// ---- geometry ----------------------------------------------------------------------------

QRectF View::frame() const
{
    return transformToSuperview().mapRect(bounds());
}

void View::setFrame(const QRectF& frame)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!isFinite(frame))
        return;
    const QTransform t = transform();
    const QPointF shift(t.dx(), t.dy());
    // The bounding rectangle of a transformed view is centred on center + translation.
    if (t.type() <= QTransform::TxTranslate)
        setBounds(QRectF(bounds().topLeft(), frame.size()));
    setCenter(frame.center() - shift);
}

QRectF View::bounds() const
{
    return m_layer->bounds();
}

void View::setBounds(const QRectF& bounds)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!isFinite(bounds) || bounds == this->bounds())
        return;
    auto& animator = Animator::instance();
    if (animator.isRecording())
        animator.record(*this, Animator::Property::Bounds, presentationBounds());
    else
        animator.cancel(*this, Animator::Property::Bounds);
    applyBounds(bounds);
}

QPointF View::center() const
{
    return m_layer->position();
}

void View::setCenter(const QPointF& center)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!isFinite(center) || center == this->center())
        return;
    auto& animator = Animator::instance();
    if (animator.isRecording())
        animator.record(*this, Animator::Property::Center, presentationCenter());
    else
        animator.cancel(*this, Animator::Property::Center);
    applyCenter(center);
}

QTransform View::transform() const
{
    return m_layer->affineTransform();
}

void View::setTransform(const QTransform& transform)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!isFinite(transform) || transform == this->transform())
        return;
    auto& animator = Animator::instance();
    if (animator.isRecording())
        animator.record(*this, Animator::Property::Transform, presentationTransform());
    else
        animator.cancel(*this, Animator::Property::Transform);
    applyTransform(transform);
}

void View::setHidden(bool hidden)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_hidden == hidden)
        return;
    m_hidden = hidden;
    noteSceneChanged();
}

void View::setAlpha(qreal alpha)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!std::isfinite(alpha))
        return;
    alpha = std::clamp(alpha, 0.0, 1.0);
    if (alpha == m_alpha)
        return;
    auto& animator = Animator::instance();
    if (animator.isRecording())
        animator.record(*this, Animator::Property::Alpha, presentationAlpha());
    else
        animator.cancel(*this, Animator::Property::Alpha);
    applyAlpha(alpha);
}

void View::applyCenter(const QPointF& center)
{
    m_layer->setPosition(center);
    noteSceneChanged();
}

void View::applyBounds(const QRectF& bounds)
{
    m_layer->setBounds(bounds);
    noteSceneChanged();
}

void View::applyTransform(const QTransform& transform)
{
    m_layer->setAffineTransform(transform);
    noteSceneChanged();
}

void View::applyAlpha(qreal alpha)
{
    m_alpha = alpha;
    noteSceneChanged();
}

QColor View::backgroundColor() const
{
    return m_layer->backgroundColor();
}

void View::setBackgroundColor(const QColor& color)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_layer->setBackgroundColor(color);
    noteSceneChanged();
}

bool View::clipsToBounds() const
{
    return m_layer->masksToBounds();
}

void View::setClipsToBounds(bool clips)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_layer->setMasksToBounds(clips);
    noteSceneChanged();
}

QTransform View::transformToSuperview() const
{
    return mapToSuperview(center(), bounds(), transform());
}

// ---- tree --------------------------------------------------------------------------------

View* View::addSubview(std::unique_ptr<View> view)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!view)
        return nullptr;
    View* raw = view.get();
    attach(*raw, std::move(view));
    return raw;
}

void View::addSubview(View& view)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    attach(view, nullptr);
}

void View::attach(View& view, std::unique_ptr<View> owned)
{
    if (&view == this || isDescendantOf(view))
        return; // a view cannot contain itself or an ancestor
    std::unique_ptr<View> keep = view.removeFromSuperview();
    if (!owned)
        owned = std::move(keep);
    view.m_superview = this;
    m_children.push_back({ &view, std::move(owned) });
    noteSceneChanged();
}

std::unique_ptr<View> View::removeFromSuperview()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_superview)
        return nullptr;
    auto& siblings = m_superview->m_children;
    std::unique_ptr<View> owned;
    auto it
        = std::find_if(siblings.begin(), siblings.end(), [this](const Child& c) { return c.view == this; });
    if (it != siblings.end()) {
        owned = std::move(it->owned);
        siblings.erase(it);
    }
    m_superview = nullptr;
    noteSceneChanged();
    return owned;
}

void View::bringSubviewToFront(View& view)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    auto it = std::find_if(
        m_children.begin(), m_children.end(), [&view](const Child& c) { return c.view == &view; });
    if (it == m_children.end())
        return;
    Child child = std::move(*it);
    m_children.erase(it);
    m_children.push_back(std::move(child));
    noteSceneChanged();
}

std::vector<View*> View::subviews() const
{
    std::vector<View*> views;
    views.reserve(m_children.size());
    for (const Child& child : m_children)
        views.push_back(child.view);
    return views;
}

const View* View::root() const
{
    const View* v = this;
    while (v->m_superview)
        v = v->m_superview;
    return v;
}

bool View::isDescendantOf(const View& view) const
{
    for (const View* v = this; v; v = v->m_superview)
        if (v == &view)
            return true;
    return false;
}

// ---- conversion --------------------------------------------------------------------------

QPointF View::convertPointToRoot(const QPointF& point) const
{
    QPointF p = point;
    for (const View* v = this; v->m_superview; v = v->m_superview)
        p = v->transformToSuperview().map(p);
    return p;
}

QPointF View::convertPointFromRoot(const QPointF& point) const
{
    QTransform toRoot;
    for (const View* v = this; v->m_superview; v = v->m_superview)
        toRoot = toRoot * v->transformToSuperview();
    bool invertible = false;
    const QTransform fromRoot = toRoot.inverted(&invertible);
    return invertible ? fromRoot.map(point) : QPointF();
}

QPointF View::convertPointToView(const QPointF& point, const View* view) const
{
    const QPointF inRoot = convertPointToRoot(point);
    return view ? view->convertPointFromRoot(inRoot) : inRoot;
}

QPointF View::convertPointFromView(const QPointF& point, const View* view) const
{
    const QPointF inRoot = view ? view->convertPointToRoot(point) : point;
    return convertPointFromRoot(inRoot);
}

QPointF Touch::locationInView(const View& view) const
{
    return view.convertPointFromRoot(windowLocation);
}

// ---- events ------------------------------------------------------------------------------

View* View::hitTest(const QPointF& point)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_hidden || m_alpha < 0.01 || !m_userInteractionEnabled || !pointInside(point))
        return nullptr;
    for (auto it = m_children.rbegin(); it != m_children.rend(); ++it) {
        bool invertible = false;
        const QTransform toChild = it->view->transformToSuperview().inverted(&invertible);
        if (!invertible)
            continue;
        if (View* hit = it->view->hitTest(toChild.map(point)))
            return hit;
    }
    return this;
}

bool View::pointInside(const QPointF& point) const
{
    const QRectF b = bounds();
    return point.x() >= b.left() && point.x() < b.right() && point.y() >= b.top() && point.y() < b.bottom();
}

void View::touchesBegan(const Touch& touch)
{
    if (m_superview)
        m_superview->touchesBegan(touch);
}

void View::touchesMoved(const Touch& touch)
{
    if (m_superview)
        m_superview->touchesMoved(touch);
}

void View::touchesEnded(const Touch& touch)
{
    if (m_superview)
        m_superview->touchesEnded(touch);
}

void View::touchesCancelled(const Touch& touch)
{
    if (m_superview)
        m_superview->touchesCancelled(touch);
}

bool View::scrollWheel(const QPointF& point, qreal steps)
{
    return m_superview && m_superview->scrollWheel(transformToSuperview().map(point), steps);
}

bool View::chooseItemForScript(int)
{
    return false;
}

View* View::findViewByAccessibilityName(const QString& name)
{
    if (name.isEmpty())
        return nullptr;
    if (m_accessibilityName == name)
        return this;
    for (auto it = m_children.rbegin(); it != m_children.rend(); ++it)
        if (View* found = it->view->findViewByAccessibilityName(name))
            return found;
    return nullptr;
}

// ---- drawing -----------------------------------------------------------------------------

QPointF View::presentationCenter() const
{
    return Animator::instance().presentedCenter(*this).value_or(center());
}

QRectF View::presentationBounds() const
{
    return Animator::instance().presentedBounds(*this).value_or(bounds());
}

QTransform View::presentationTransform() const
{
    return Animator::instance().presentedTransform(*this).value_or(transform());
}

qreal View::presentationAlpha() const
{
    return Animator::instance().presentedAlpha(*this).value_or(m_alpha);
}

void View::render(QPainter& painter) const
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_hidden)
        return;
    const qreal alpha = presentationAlpha() * contentOpacity();
    if (alpha <= 0.001)
        return;
    const QRectF b = presentationBounds();
    painter.save();
    painter.setTransform(mapToSuperview(presentationCenter(), b, presentationTransform()), true);
    painter.setOpacity(painter.opacity() * alpha);
    renderContent(painter, b);
    painter.restore();
}

QImage View::snapshot(qreal scale) const
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    const QRectF b = presentationBounds();
    if (!(scale > 0) || !std::isfinite(scale) || b.isEmpty())
        return {};
    const QSize size(int(std::ceil(b.width() * scale)), int(std::ceil(b.height() * scale)));
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (m_hidden)
        return image;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.scale(scale, scale);
    painter.translate(-b.topLeft());
    painter.setOpacity(presentationAlpha() * contentOpacity());
    renderContent(painter, b);
    return image;
}

void View::renderContent(QPainter& painter, const QRectF& bounds) const
{
    const Layer& layer = *m_layer;
    const qreal radius = std::min({ layer.cornerRadius(), bounds.width() / 2, bounds.height() / 2 });
    QPainterPath shape;
    if (radius > 0)
        shape.addRoundedRect(bounds, radius, radius);
    else
        shape.addRect(bounds);

    painter.save();
    if (layer.masksToBounds())
        painter.setClipPath(shape, Qt::IntersectClip);
    const QColor background = layer.backgroundColor();
    if (background.alpha() > 0)
        painter.fillPath(shape, background);
    const QImage contents = layer.contents();
    if (!contents.isNull()) {
        painter.save();
        painter.setClipPath(shape, Qt::IntersectClip);
        QImage shown = layer.isContentsMirrored() ? contents.mirrored(true, false) : contents;
        painter.drawImage(bounds, shown);
        painter.restore();
    }
    paintContent(painter);
    for (const auto& sublayer : layer.sublayers())
        sublayer->render(painter);
    for (const Child& child : m_children)
        child.view->render(painter);
    painter.restore();

    if (layer.borderWidth() > 0 && layer.borderColor().alpha() > 0) {
        const qreal w = layer.borderWidth();
        const QRectF inner = bounds.adjusted(w / 2, w / 2, -w / 2, -w / 2);
        const qreal r = std::max<qreal>(0, radius - w / 2);
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(layer.borderColor(), w));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(inner, r, r);
        painter.restore();
    }
}

void View::paintContent(QPainter&) const
{
}

quint64 View::sceneRevision()
{
    return g_sceneRevision.load(std::memory_order_relaxed);
}

void View::noteSceneChanged()
{
    g_sceneRevision.fetch_add(1, std::memory_order_relaxed);
}

// ---- animations --------------------------------------------------------------------------

void View::beginAnimations(const QString& name)
{
    Animator::instance().begin(name);
}
void View::setAnimationDuration(double seconds)
{
    Animator::instance().setDuration(seconds);
}
void View::setAnimationCompletion(std::function<void(bool)> completion)
{
    Animator::instance().setCompletion(std::move(completion));
}
void View::commitAnimations()
{
    Animator::instance().commit();
}
void View::setAnimationsEnabled(bool enabled)
{
    Animator::instance().setEnabled(enabled);
}
bool View::areAnimationsEnabled()
{
    return Animator::instance().isEnabled();
}

} // namespace platform
