#pragma once

// A rectangle of the user interface, as a phone toolkit has it.
//
// Geometry (all in points, y down):
// - bounds: the view's own coordinate space; its origin is the point shown at the top-left
//   (a scroll view scrolls by moving it), its size the view's size.
// - center: where the middle of the bounds sits in the superview.
// - transform: an affine transform applied about the center (rotation positive clockwise).
// - frame: the rectangle the view covers in its superview. With a transform it is the bounding
//   rectangle of the turned view. Setting the frame of a turned view moves the center so that
//   the bounding rectangle lands at the given place and leaves the bounds unchanged; without a
//   transform it sets the center and the bounds size.
// The view's layer stores bounds, center (its position) and transform, and carries the look:
// background colour, corner radius, border, clipping. Sublayers added to the layer are drawn
// with the view, above its background and content and below its subviews.
//
// Changes made through the view's setters inside an animation block (beginAnimations ...
// commitAnimations) are animated; the model values change at once, and what is drawn moves
// from the old to the new values over the block's duration.
//
// Threads: GUI thread only.

#include <functional>
#include <memory>
#include <vector>

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QTransform>

#include "platform/core/ThreadChecker.h"
#include "platform/ui/Touch.h"

class QPainter;

namespace platform {

class Layer;

class View {
public:
    explicit View(const QRectF& frame = {});
    virtual ~View();

    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // A pointer that reads as null once the view is gone.
    class Weak {
    public:
        Weak() = default;
        explicit Weak(View* view);
        View* get() const { return m_alive.expired() ? nullptr : m_view; }

    private:
        View* m_view { nullptr };
        std::weak_ptr<void> m_alive;
    };

    // Geometry (model values).
    QRectF frame() const;
    void setFrame(const QRectF& frame);
    QRectF bounds() const;
    void setBounds(const QRectF& bounds);
    QPointF center() const;
    void setCenter(const QPointF& center);
    QTransform transform() const;
    void setTransform(const QTransform& transform);

    // Look and state.
    bool isHidden() const { return m_hidden; }
    void setHidden(bool hidden);
    qreal alpha() const { return m_alpha; }
    void setAlpha(qreal alpha);
    bool isUserInteractionEnabled() const { return m_userInteractionEnabled; }
    void setUserInteractionEnabled(bool enabled) { m_userInteractionEnabled = enabled; }
    QColor backgroundColor() const;
    void setBackgroundColor(const QColor& color);
    bool clipsToBounds() const;
    void setClipsToBounds(bool clips);
    QString accessibilityName() const { return m_accessibilityName; }
    void setAccessibilityName(const QString& name) { m_accessibilityName = name; }
    Layer& layer() const { return *m_layer; }
    std::shared_ptr<Layer> layerPointer() const { return m_layer; }

    // Tree. addSubview takes ownership; the non-owning form is for views owned elsewhere (a view
    // controller's view shown in a window), which leave the tree by themselves when destroyed.
    View* addSubview(std::unique_ptr<View> view);
    void addSubview(View& view);
    // Leaves the superview. Returns the view itself when the superview owned it, else null.
    std::unique_ptr<View> removeFromSuperview();
    void bringSubviewToFront(View& view);
    View* superview() const { return m_superview; }
    std::vector<View*> subviews() const;
    const View* root() const;
    bool isDescendantOf(const View& view) const;

    // Point conversion between views of one tree (nullptr means the root's coordinates).
    QPointF convertPointToView(const QPointF& point, const View* view) const;
    QPointF convertPointFromView(const QPointF& point, const View* view) const;
    QPointF convertPointToRoot(const QPointF& point) const;
    QPointF convertPointFromRoot(const QPointF& point) const;
    // Maps this view's bounds coordinates into the superview's coordinates.
    QTransform transformToSuperview() const;

    // Hit-testing with the point in this view's bounds coordinates. Hidden views, views with
    // alpha below 0.01 and views that take no interaction are passed over; later subviews are
    // on top. Returns the deepest view that contains the point.
    virtual View* hitTest(const QPointF& point);
    virtual bool pointInside(const QPointF& point) const;

    // Touches, delivered to the view the touch began on. By default a view passes them on to its
    // superview, so a plain view inside a scroll view lets the scroll view drag.
    virtual void touchesBegan(const Touch& touch);
    virtual void touchesMoved(const Touch& touch);
    virtual void touchesEnded(const Touch& touch);
    virtual void touchesCancelled(const Touch& touch);
    // A scroll wheel (or pinch) step at a point in this view's bounds coordinates; steps is
    // positive for zooming in. Returns true when someone handled it; by default the superview.
    virtual bool scrollWheel(const QPointF& point, qreal steps);
    // Scripted control: chooses item `index` of an option control the way a user's taps would.
    // Returns false when this view has no items or the index is out of range.
    virtual bool chooseItemForScript(int index);

    // The first view (this one included), depth first with the topmost subviews first, whose
    // accessibility name is `name`.
    View* findViewByAccessibilityName(const QString& name);

    // Draws the view and its subviews (presentation values) with the painter in the superview's
    // coordinates.
    void render(QPainter& painter) const;
    // Draws the view's bounds area (its own center and transform left out) into an image of
    // ceil(size × scale) device pixels.
    QImage snapshot(qreal scale) const;
    // Presentation values: what is drawn right now, midway through animations.
    QPointF presentationCenter() const;
    QRectF presentationBounds() const;
    QTransform presentationTransform() const;
    qreal presentationAlpha() const;

    // Counts visible changes anywhere in any tree, so a host can repaint only when needed.
    static quint64 sceneRevision();
    static void noteSceneChanged();

    // Named animations of view properties (GUI thread).
    static void beginAnimations(const QString& name);
    static void setAnimationDuration(double seconds);
    // Called (with true) once the block's animations have ended, on the next animation tick.
    static void setAnimationCompletion(std::function<void(bool finished)> completion);
    static void commitAnimations();
    static void setAnimationsEnabled(bool enabled);
    static bool areAnimationsEnabled();

protected:
    // The view's own drawing, in bounds coordinates, after the background.
    virtual void paintContent(QPainter& painter) const;
    // Multiplies the view's alpha when drawing (a disabled control draws faded).
    virtual qreal contentOpacity() const { return 1.0; }
    void setNeedsDisplay() const { noteSceneChanged(); }

private:
    struct Child {
        View* view;
        std::unique_ptr<View> owned;
    };
    void attach(View& view, std::unique_ptr<View> owned);
    void applyCenter(const QPointF& center);
    void applyBounds(const QRectF& bounds);
    void applyTransform(const QTransform& transform);
    void applyAlpha(qreal alpha);
    void renderContent(QPainter& painter, const QRectF& bounds) const;
    friend class Animator;

    std::shared_ptr<Layer> m_layer;
    std::shared_ptr<int> m_alive { std::make_shared<int>(0) };
    View* m_superview { nullptr };
    std::vector<Child> m_children;
    bool m_hidden { false };
    qreal m_alpha { 1.0 };
    bool m_userInteractionEnabled { true };
    QString m_accessibilityName;

protected:
    // The thread the view was made on; subclasses check their own operations against it too.
    [[no_unique_address]] ThreadChecker m_guiThread;
};

} // namespace platform
