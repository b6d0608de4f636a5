#include "analytics/TallySession.h"

#include <algorithm>
#include <utility>

#include "analytics/TallyAPI.h"
#include "analytics/TallyProtocolData.h"
#include "analytics/TallySessionStore.h"
#include "analytics/TallyUploader.h"
#include "analytics/TallyUtil.h"
#include "platform/system/Clock.h"
#include "platform/system/DeviceInfo.h"

namespace analytics {

namespace {

struct CurrentSessionSlot {
    std::mutex mutex; // guards session
    std::shared_ptr<TallySession> session;
};

CurrentSessionSlot& currentSlot()
{
    static CurrentSessionSlot slot;
    return slot;
}

QString dateText(const QDateTime& date)
{
    return date.isValid() ? date.toString(Qt::ISODateWithMs) : QStringLiteral("(none)");
}

} // namespace

TallySession::TallySession(const QString& apiKey, const QString& appVersion)
{
    m_state.startTime = platform::Clock::now();
    m_state.apiKey = apiKey;
    m_state.appVersion = appVersion;
    m_state.locale = platform::DeviceInfo::localeIdentifier();
    m_state.timeZone = platform::DeviceInfo::timeZoneName();
}

TallySession::TallySession(TallySessionState state)
    : m_state(std::move(state))
{
}

std::shared_ptr<TallySession> TallySession::createActiveTallySession(
    const QString& apiKey, const QString& appVersion)
{
    const auto store = TallySessionStore::instance();
    store->setApiKey(apiKey);
    store->recoverFormerSession();
    auto session = std::make_shared<TallySession>(apiKey, appVersion);
    session->saveToDisk();
    setCurrentSession(session);
    TallyUtil::debugLog(QStringLiteral("Created active session with API[%1]").arg(apiKey));
    return session;
}

std::shared_ptr<TallySession> TallySession::currentSession()
{
    CurrentSessionSlot& slot = currentSlot();
    std::scoped_lock lock(slot.mutex);
    return slot.session;
}

void TallySession::setCurrentSession(std::shared_ptr<TallySession> session)
{
    std::shared_ptr<TallySession> previous;
    {
        CurrentSessionSlot& slot = currentSlot();
        std::scoped_lock lock(slot.mutex);
        previous = std::exchange(slot.session, std::move(session));
    }
    // `previous` is released here, outside the lock.
}

QString TallySession::getAgentVersion()
{
    return QString::number(agentVersion);
}

void TallySession::setMaxSessions(int maximum)
{
    TallySessionStore::instance()->setMaxSessions(maximum);
}

void TallySession::pauseSession()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    QDateTime pauseTime;
    {
        std::scoped_lock lock(m_mutex);
        m_state.pauseTime = platform::Clock::now();
        pauseTime = m_state.pauseTime;
    }
    TallyUtil::debugLog(QStringLiteral("Pause session with pauseTime[%1]").arg(dateText(pauseTime)));
    saveToDisk();
}

void TallySession::resumeSession()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    const QDateTime now = platform::Clock::now();
    {
        std::scoped_lock lock(m_mutex);
        if (!m_state.pauseTime.isValid())
            return;
        // A clock set back during the pause would give a negative pause; it counts as none.
        m_state.totalPauseIntervalMillis
            += std::max<std::int64_t>(0, TallyProtocolData::timeIntervalFrom(m_state.pauseTime, now));
        m_state.pauseTime = QDateTime();
    }
    TallyUtil::debugLog(QStringLiteral("Resume session with resumeTime[%1]").arg(dateText(now)));
    saveToDisk();
}

void TallySession::saveSession()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    const auto store = TallySessionStore::instance();
    TallyUtil::debugLog(
        QStringLiteral("Add session with startTime[%1] to saved sessions").arg(dateText(startTime())));
    store->handOverEndedSession(state(), data());
    CurrentSessionSlot& slot = currentSlot();
    std::shared_ptr<TallySession> removed;
    {
        std::scoped_lock lock(slot.mutex);
        if (slot.session.get() == this)
            removed = std::move(slot.session);
    }
}

void TallySession::endSessionAndSend(bool send, bool removeCurrentSession)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    QDateTime endTime;
    bool reportsOnClose = false;
    {
        std::scoped_lock lock(m_mutex);
        m_state.endTime = platform::Clock::now();
        endTime = m_state.endTime;
        reportsOnClose = m_state.sessionReportsOnCloseEnabled;
    }
    TallyUtil::debugLog(QStringLiteral("Ending session with endTime[%1]").arg(dateText(endTime)));
    endTimedEvents();
    // Sent on an upload thread from a report built here; the session is saved right after, so an
    // upload that fails or is cut off at quit loses nothing.
    if (send && reportsOnClose)
        TallyAPI::startEndOfSessionUpload();
    if (removeCurrentSession)
        saveSession();
    TallyUtil::debugLog(QStringLiteral("Ending session with endTime[%1] complete").arg(dateText(endTime)));
}

void TallySession::saveToDisk()
{
    TallySessionState snapshot;
    {
        std::scoped_lock lock(m_mutex);
        m_state.serializationVersion = 1;
        snapshot = m_state;
    }
    TallySessionStore::instance()->saveCurrentSession(snapshot);
}

std::int64_t TallySession::sessionLength() const
{
    std::scoped_lock lock(m_mutex);
    if (!m_state.endTime.isValid())
        return -1;
    return TallyProtocolData::timeIntervalFrom(m_state.startTime, m_state.endTime);
}

std::int64_t TallySession::timeIntervalSinceSessionStart(const QDateTime& date) const
{
    std::scoped_lock lock(m_mutex);
    return TallyProtocolData::timeIntervalFrom(m_state.startTime, date);
}

TallySessionState TallySession::state() const
{
    std::scoped_lock lock(m_mutex);
    return m_state;
}

#define TALLY_READER(Type, name, field)                                                                      \
    Type TallySession::name() const                                                                          \
    {                                                                                                        \
        std::scoped_lock lock(m_mutex);                                                                      \
        return m_state.field;                                                                                \
    }
#define TALLY_SETTER(Type, name, field)                                                                      \
    void TallySession::name(Type value)                                                                      \
    {                                                                                                        \
        std::scoped_lock lock(m_mutex);                                                                      \
        m_state.field = value;                                                                               \
    }

TALLY_READER(QDateTime, startTime, startTime)
TALLY_READER(QDateTime, endTime, endTime)
TALLY_READER(QDateTime, pauseTime, pauseTime)
TALLY_READER(QString, apiKey, apiKey)
TALLY_READER(QString, appVersion, appVersion)
TALLY_READER(bool, isCrashed, crashed)
TALLY_READER(std::int32_t, pageViewCount, pageViewCount)
TALLY_READER(bool, isInternetAvailable, internetAvailable)
TALLY_READER(bool, sessionReportsOnCloseEnabled, sessionReportsOnCloseEnabled)
TALLY_READER(bool, sessionReportsOnPauseEnabled, sessionReportsOnPauseEnabled)
TALLY_SETTER(const QDateTime&, setEndTime, endTime)
TALLY_SETTER(const QString&, setAppVersion, appVersion)
TALLY_SETTER(bool, setCrashed, crashed)
TALLY_SETTER(std::int32_t, setPageViewCount, pageViewCount)
TALLY_SETTER(bool, setInternetAvailable, internetAvailable)
TALLY_SETTER(bool, setEventLoggingEnabled, eventLoggingEnabled)
TALLY_SETTER(bool, setSessionReportsOnCloseEnabled, sessionReportsOnCloseEnabled)
TALLY_SETTER(bool, setSessionReportsOnPauseEnabled, sessionReportsOnPauseEnabled)

QString TallySession::userID() const
{
    std::scoped_lock lock(m_mutex);
    return m_state.userID.isNull() ? QString(QLatin1String("")) : m_state.userID;
}

#undef TALLY_READER
#undef TALLY_SETTER

} // namespace analytics
