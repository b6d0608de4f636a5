#include "platform/system/Clock.h"

#include <mutex>

namespace platform {

namespace {

std::mutex g_clockMutex; // guards g_frozen and g_frozenMs together
bool g_frozen { false };
qint64 g_frozenMs { 0 };

} // namespace

QDateTime Clock::now()
{
    {
        std::scoped_lock lock(g_clockMutex);
        if (g_frozen)
            return QDateTime::fromMSecsSinceEpoch(g_frozenMs, Qt::UTC);
    }
    return QDateTime::currentDateTimeUtc();
}

void Clock::setNow(const QDateTime& instant)
{
    std::scoped_lock lock(g_clockMutex);
    g_frozen = true;
    g_frozenMs = instant.toMSecsSinceEpoch();
}

void Clock::advance(qint64 milliseconds)
{
    std::scoped_lock lock(g_clockMutex);
    if (!g_frozen) {
        g_frozenMs = QDateTime::currentMSecsSinceEpoch();
        g_frozen = true;
    }
    g_frozenMs += milliseconds;
}

void Clock::useSystemTime()
{
    std::scoped_lock lock(g_clockMutex);
    g_frozen = false;
}

bool Clock::isFrozen()
{
    std::scoped_lock lock(g_clockMutex);
    return g_frozen;
}

} // namespace platform
