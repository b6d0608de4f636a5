#pragma once

// Runs the named view animations. A block (View::beginAnimations ... commitAnimations) collects
// property changes; at commit each change becomes an animation from the value drawn at the time
// of the change to the new model value, over the block's duration with an ease-in-out curve.
// Presentation values are computed from the clock when asked, so an animation that is over
// shows exactly its target. A 60 Hz timer runs while animations are active, repaints and calls
// completions; tests that install their own clock call tick() after advancing it.
//
// Threads: GUI thread only.

#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QTransform>

#include "platform/core/ThreadChecker.h"
#include "platform/ui/View.h"

class QTimer;

namespace platform {

class AnimationClock;

class Animator {
public:
    enum class Property { Center, Bounds, Transform, Alpha };
    using Value = std::variant<QPointF, QRectF, QTransform, qreal>;

    static Animator& instance();

    // nullptr restores the steady clock. The clock must outlive its use.
    void setClock(const AnimationClock* clock);
    double now() const;

    void begin(const QString& name);
    void setDuration(double seconds);
    void setCompletion(std::function<void(bool finished)> completion);
    void commit();
    void setEnabled(bool enabled) { m_enabled = enabled; }
    bool isEnabled() const { return m_enabled; }
    // True while a block is open and animations are enabled: setters record their changes.
    bool isRecording() const { return m_enabled && !m_blocks.empty(); }

    // Records a change of `property` of `view` whose drawn value before the change was `from`.
    void record(View& view, Property property, const Value& from);

    std::optional<QPointF> presentedCenter(const View& view) const;
    std::optional<QRectF> presentedBounds(const View& view) const;
    std::optional<QTransform> presentedTransform(const View& view) const;
    std::optional<qreal> presentedAlpha(const View& view) const;

    // Drops running animations of one property of a view (a change made outside any block).
    void cancel(const View& view, Property property);

    // Names of the committed animations still running.
    QStringList runningAnimations() const;
    bool isAnimating() const { return !m_running.empty(); }
    // Ends what is over, calls completions, stops the timer when idle.
    void tick();
    // Drops every animation of a view that is going away.
    void forget(const View& view);

private:
    Animator();
    struct Change;
    struct Block;
    struct Running;
    double progress(const Running& running) const;
    const Change* find(const View& view, Property property, const Running** running) const;
    void ensureTimer();

    const AnimationClock* m_clock { nullptr };
    std::unique_ptr<AnimationClock> m_steadyClock;
    bool m_enabled { true };
    std::vector<std::unique_ptr<Block>> m_blocks;
    std::vector<std::unique_ptr<Running>> m_running;
    std::unique_ptr<QTimer> m_timer;
    [[no_unique_address]] ThreadChecker m_guiThread;
};

} // namespace platform
