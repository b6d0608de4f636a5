#include "analytics/TallyHeartBeater.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include <QCoreApplication>
#include <QThread>

#include "platform/core/NotificationCenter.h"

namespace analytics {

namespace {

std::mutex g_instanceMutex; // guards g_instance
std::unique_ptr<TallyHeartBeater> g_instance;

} // namespace

TallyHeartBeater::~TallyHeartBeater()
{
    stop();
}

TallyHeartBeater* TallyHeartBeater::createAndStartInstance(double intervalSeconds)
{
    std::scoped_lock lock(g_instanceMutex);
    if (!g_instance) {
        g_instance = std::make_unique<TallyHeartBeater>();
        g_instance->start(intervalSeconds);
    }
    return g_instance.get();
}

TallyHeartBeater* TallyHeartBeater::instance()
{
    std::scoped_lock lock(g_instanceMutex);
    return g_instance.get();
}

void TallyHeartBeater::destroyInstance()
{
    std::unique_ptr<TallyHeartBeater> instance;
    {
        std::scoped_lock lock(g_instanceMutex);
        instance = std::move(g_instance);
    }
}

void TallyHeartBeater::start(double intervalSeconds)
{
    LUMIVUE_CHECK_THREAD(m_startingThread);
    stop();
    QCoreApplication* application = QCoreApplication::instance();
    const bool ownedByApplication = application && application->thread() == QThread::currentThread();
    if (ownedByApplication) {
        m_timer = new QTimer(application); // deleted with the application at the latest
    } else {
        m_ownedTimer = std::make_unique<QTimer>();
        m_timer = m_ownedTimer.get();
    }
    const double milliseconds
        = std::isfinite(intervalSeconds) ? std::max(intervalSeconds, 0.001) * 1000.0 : 1000.0;
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(std::chrono::milliseconds(qint64(std::llround(milliseconds))));
    QObject::connect(m_timer, &QTimer::timeout, m_timer, [this] { heartBeat(); });
    m_timer->start();
}

void TallyHeartBeater::stop()
{
    LUMIVUE_CHECK_THREAD(m_startingThread);
    if (m_ownedTimer) {
        m_ownedTimer.reset();
    } else if (m_timer) {
        // Owned by the application object; stop it and let it go now.
        m_timer->stop();
        delete m_timer.data();
    }
    m_timer.clear();
}

void TallyHeartBeater::heartBeat()
{
    platform::NotificationCenter::defaultCenter().post(kNotificationName, this);
}

} // namespace analytics
