#include "platform/ui/Animator.h"

#include <algorithm>
#include <cmath>

#include <QElapsedTimer>
#include <QTimer>

#include "platform/ui/AnimationClock.h"

namespace platform {

namespace {

class SteadyClock final : public AnimationClock {
public:
    SteadyClock() { m_timer.start(); }
    double now() const override { return double(m_timer.nsecsElapsed()) / 1e9; }

private:
    QElapsedTimer m_timer;
};

constexpr double kDefaultDuration = 0.2; // seconds, when a block names none

double ease(double t)
{
    return t * t * (3.0 - 2.0 * t);
}

qreal lerp(qreal a, qreal b, double t)
{
    return a + (b - a) * t;
}

QTransform interpolate(const QTransform& from, const QTransform& to, double t)
{
    // Rotation, scale and translation are interpolated separately so that a quarter turn turns
    // instead of shrinking through a degenerate matrix. Shear falls back to matrix blending.
    struct Parts {
        qreal angle, sx, sy;
        bool ok;
    };
    auto decompose = [](const QTransform& m) {
        const qreal sx = std::hypot(m.m11(), m.m12());
        if (sx == 0)
            return Parts { 0, 0, 0, false };
        const qreal angle = std::atan2(m.m12(), m.m11());
        const qreal sy = (m.m11() * m.m22() - m.m12() * m.m21()) / sx;
        const qreal c = std::cos(angle), s = std::sin(angle);
        const bool ok = std::abs(m.m21() + sy * s) < 1e-6 && std::abs(m.m22() - sy * c) < 1e-6;
        return Parts { angle, sx, sy, ok };
    };
    const Parts a = decompose(from);
    const Parts b = decompose(to);
    const qreal dx = lerp(from.dx(), to.dx(), t);
    const qreal dy = lerp(from.dy(), to.dy(), t);
    if (!a.ok || !b.ok) {
        return QTransform(lerp(from.m11(), to.m11(), t), lerp(from.m12(), to.m12(), t),
            lerp(from.m21(), to.m21(), t), lerp(from.m22(), to.m22(), t), dx, dy);
    }
    qreal delta = b.angle - a.angle;
    while (delta > M_PI)
        delta -= 2 * M_PI;
    while (delta < -M_PI)
        delta += 2 * M_PI;
    const qreal angle = a.angle + delta * t;
    const qreal sx = lerp(a.sx, b.sx, t), sy = lerp(a.sy, b.sy, t);
    const qreal c = std::cos(angle), s = std::sin(angle);
    return QTransform(sx * c, sx * s, -sy * s, sy * c, dx, dy);
}

} // namespace

struct Animator::Change {
    View::Weak view;
    const View* key;
    Property property;
    Value from;
    Value to;
};

struct Animator::Block {
    QString name;
    double duration { kDefaultDuration };
    std::function<void(bool)> completion;
    std::vector<Change> changes;
};

struct Animator::Running {
    QString name;
    double start { 0 };
    double duration { 0 };
    std::function<void(bool)> completion;
    std::vector<Change> changes;
};

Animator& Animator::instance()
{
    // Never destroyed: views may outlive static destruction order in tests and at exit.
    static Animator* animator = new Animator;
    return *animator;
}

Animator::Animator()
    : m_steadyClock(std::make_unique<SteadyClock>())
{
}

void Animator::setClock(const AnimationClock* clock)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_clock = clock;
}

double Animator::now() const
{
    return (m_clock ? m_clock : m_steadyClock.get())->now();
}

void Animator::begin(const QString& name)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    auto block = std::make_unique<Block>();
    block->name = name;
    m_blocks.push_back(std::move(block));
}

void Animator::setDuration(double seconds)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_blocks.empty() && std::isfinite(seconds))
        m_blocks.back()->duration = std::max(0.0, seconds);
}

void Animator::setCompletion(std::function<void(bool)> completion)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_blocks.empty())
        m_blocks.back()->completion = std::move(completion);
}

void Animator::record(View& view, Property property, const Value& from)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_blocks.empty())
        return;
    auto& changes = m_blocks.back()->changes;
    const bool known = std::any_of(changes.begin(), changes.end(),
        [&](const Change& c) { return c.key == &view && c.property == property; });
    if (!known)
        changes.push_back({ View::Weak(&view), &view, property, from, from });
}

void Animator::commit()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_blocks.empty())
        return;
    std::unique_ptr<Block> block = std::move(m_blocks.back());
    m_blocks.pop_back();
    auto running = std::make_unique<Running>();
    running->name = block->name;
    running->start = now();
    running->duration = m_enabled ? block->duration : 0.0;
    running->completion = std::move(block->completion);
    for (Change& change : block->changes) {
        View* view = change.view.get();
        if (!view)
            continue;
        switch (change.property) {
        case Property::Center:
            change.to = view->center();
            break;
        case Property::Bounds:
            change.to = view->bounds();
            break;
        case Property::Transform:
            change.to = view->transform();
            break;
        case Property::Alpha:
            change.to = view->alpha();
            break;
        }
        running->changes.push_back(std::move(change));
    }
    m_running.push_back(std::move(running));
    View::noteSceneChanged();
    ensureTimer();
}

void Animator::cancel(const View& view, Property property)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    for (auto& running : m_running) {
        auto& changes = running->changes;
        changes.erase(std::remove_if(changes.begin(), changes.end(),
                          [&](const Change& c) { return c.key == &view && c.property == property; }),
            changes.end());
    }
}

void Animator::forget(const View& view)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    for (auto& block : m_blocks) {
        auto& changes = block->changes;
        changes.erase(
            std::remove_if(changes.begin(), changes.end(), [&](const Change& c) { return c.key == &view; }),
            changes.end());
    }
    for (auto& running : m_running) {
        auto& changes = running->changes;
        changes.erase(
            std::remove_if(changes.begin(), changes.end(), [&](const Change& c) { return c.key == &view; }),
            changes.end());
    }
}

double Animator::progress(const Running& running) const
{
    if (running.duration <= 0)
        return 1.0;
    const double t = (now() - running.start) / running.duration;
    return t >= 1.0 ? 1.0 : t <= 0.0 ? 0.0 : ease(t);
}

const Animator::Change* Animator::find(const View& view, Property property, const Running** owner) const
{
    // The newest animation of a property wins; older ones are shadowed until they end.
    for (auto it = m_running.rbegin(); it != m_running.rend(); ++it) {
        for (const Change& change : (*it)->changes) {
            if (change.key == &view && change.property == property) {
                *owner = it->get();
                return &change;
            }
        }
    }
    return nullptr;
}

std::optional<QPointF> Animator::presentedCenter(const View& view) const
{
    const Running* running = nullptr;
    const Change* change = find(view, Property::Center, &running);
    if (!change)
        return std::nullopt;
    const double t = progress(*running);
    const QPointF a = std::get<QPointF>(change->from), b = std::get<QPointF>(change->to);
    if (t >= 1.0)
        return b;
    return QPointF(lerp(a.x(), b.x(), t), lerp(a.y(), b.y(), t));
}

std::optional<QRectF> Animator::presentedBounds(const View& view) const
{
    const Running* running = nullptr;
    const Change* change = find(view, Property::Bounds, &running);
    if (!change)
        return std::nullopt;
    const double t = progress(*running);
    const QRectF a = std::get<QRectF>(change->from), b = std::get<QRectF>(change->to);
    if (t >= 1.0)
        return b;
    return QRectF(lerp(a.x(), b.x(), t), lerp(a.y(), b.y(), t), lerp(a.width(), b.width(), t),
        lerp(a.height(), b.height(), t));
}

std::optional<QTransform> Animator::presentedTransform(const View& view) const
{
    const Running* running = nullptr;
    const Change* change = find(view, Property::Transform, &running);
    if (!change)
        return std::nullopt;
    const double t = progress(*running);
    const QTransform& b = std::get<QTransform>(change->to);
    if (t >= 1.0)
        return b;
    return interpolate(std::get<QTransform>(change->from), b, t);
}

std::optional<qreal> Animator::presentedAlpha(const View& view) const
{
    const Running* running = nullptr;
    const Change* change = find(view, Property::Alpha, &running);
    if (!change)
        return std::nullopt;
    const double t = progress(*running);
    const qreal b = std::get<qreal>(change->to);
    if (t >= 1.0)
        return b;
    return lerp(std::get<qreal>(change->from), b, t);
}

QStringList Animator::runningAnimations() const
{
    QStringList names;
    for (const auto& running : m_running)
        if (progress(*running) < 1.0)
            names << running->name;
    return names;
}

void Animator::tick()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_running.empty()) {
        if (m_timer)
            m_timer->stop();
        return;
    }
    View::noteSceneChanged();
    // Take the finished ones out before calling completions: a completion may start or
    // commit new animations.
    std::vector<std::unique_ptr<Running>> finished;
    for (auto it = m_running.begin(); it != m_running.end();) {
        if (progress(**it) >= 1.0) {
            finished.push_back(std::move(*it));
            it = m_running.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& running : finished)
        if (running->completion)
            running->completion(true);
    if (m_running.empty() && m_timer)
        m_timer->stop();
}

void Animator::ensureTimer()
{
    if (!m_timer) {
        m_timer = std::make_unique<QTimer>();
        m_timer->setInterval(16);
        QObject::connect(m_timer.get(), &QTimer::timeout, [this] { tick(); });
    }
    if (!m_timer->isActive())
        m_timer->start();
}

} // namespace platform
