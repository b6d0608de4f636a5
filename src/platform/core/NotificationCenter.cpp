#include "platform/core/NotificationCenter.h"

#include <algorithm>

#include <QCoreApplication>
#include <QThread>

namespace platform {

NotificationCenter::NotificationCenter()
{
    if (auto* app = QCoreApplication::instance())
        moveToThread(app->thread());
}

NotificationCenter::~NotificationCenter() = default;

NotificationCenter& NotificationCenter::defaultCenter()
{
    // Never destroyed: observers and queued posts may reach it during static destruction.
    static NotificationCenter* center = new NotificationCenter;
    return *center;
}

NotificationCenter::Token NotificationCenter::addObserver(
    const QString& name, const void* owner, Callback callback)
{
    if (!callback)
        return 0;
    std::scoped_lock lock(m_mutex);
    const Token token = m_nextToken++;
    m_observers.push_back({ token, name, owner, std::move(callback) });
    return token;
}

void NotificationCenter::removeObserver(Token token)
{
    std::scoped_lock lock(m_mutex);
    m_observers.erase(std::remove_if(m_observers.begin(), m_observers.end(),
                          [token](const Observer& o) { return o.token == token; }),
        m_observers.end());
}

void NotificationCenter::removeObserver(const void* owner)
{
    if (!owner)
        return;
    std::scoped_lock lock(m_mutex);
    m_observers.erase(std::remove_if(m_observers.begin(), m_observers.end(),
                          [owner](const Observer& o) { return o.owner == owner; }),
        m_observers.end());
}

void NotificationCenter::post(const QString& name, const void* object)
{
    const Notification notification { name, object };
    if (QThread::currentThread() == thread()) {
        deliver(notification);
        return;
    }
    // Queued to the centre's thread; dropped if the centre is destroyed first.
    QMetaObject::invokeMethod(
        this, [this, notification] { deliver(notification); }, Qt::QueuedConnection);
}

bool NotificationCenter::isRegistered(Token token) const
{
    std::scoped_lock lock(m_mutex);
    return std::any_of(
        m_observers.begin(), m_observers.end(), [token](const Observer& o) { return o.token == token; });
}

void NotificationCenter::deliver(const Notification& notification)
{
    std::vector<Observer> matching;
    {
        std::scoped_lock lock(m_mutex);
        for (const Observer& o : m_observers)
            if (o.name == notification.name)
                matching.push_back(o);
    }
    // No lock while calling out: callbacks may add, remove or post.
    for (const Observer& o : matching)
        if (isRegistered(o.token))
            o.callback(notification);
}

} // namespace platform
