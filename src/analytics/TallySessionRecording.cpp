// TallySession: events, errors, page views, user attributes and location.
#include "analytics/TallySession.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "analytics/TallyUtil.h"
#include "platform/system/Clock.h"
#include "platform/system/Error.h"

namespace analytics {

namespace {

// The last counted page view of the process, shared by all sessions.
struct PageViewClock {
    std::mutex mutex; // guards lastCounted
    QDateTime lastCounted;
};

PageViewClock& pageViewClock()
{
    static PageViewClock clock;
    return clock;
}

QString parametersText(const std::optional<QVariantMap>& parameters)
{
    if (!parameters)
        return QStringLiteral("(null)");
    QStringList pairs;
    for (auto it = parameters->cbegin(); it != parameters->cend(); ++it)
        pairs << it.key() + QStringLiteral(" = ") + TallyEvent::textDescription(it.value());
    return QStringLiteral("{") + pairs.join(QStringLiteral("; ")) + QStringLiteral("}");
}

void debugLines(const std::vector<QString>& lines)
{
    for (const QString& line : lines)
        TallyUtil::debugLog(line);
}

} // namespace

void TallySession::recordEvent(const QString& name, std::optional<QVariantMap> parameters, bool timed)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    const bool debug = TallyUtil::isDebugLogEnabled();
    std::vector<QString> lines;
    if (debug)
        lines.push_back(QStringLiteral("Recording event eventName[%1] with parameters[%2]")
                            .arg(name, parametersText(parameters)));
    const bool tooManyParameters = parameters && parameters->size() > maxEventParameters;
    {
        std::scoped_lock lock(m_mutex);
        if (name.isEmpty() || tooManyParameters) {
            m_state.eventLogComplete = false;
            if (debug)
                lines.push_back(QStringLiteral("Event eventName[%1] with parameters[%2] not recorded")
                                    .arg(name, parametersText(parameters)));
        } else {
            bool counted = false;
            auto count = m_state.eventCounts.find(name);
            if (count != m_state.eventCounts.end()) {
                if (*count < std::numeric_limits<std::int32_t>::max())
                    ++*count;
                counted = true;
            } else if (m_state.eventCounts.size() < maxEventNames) {
                count = m_state.eventCounts.insert(name, 1);
                counted = true;
            }
            if (counted && debug)
                lines.push_back(QStringLiteral("Event count for eventName[%1] updated to count[%2]")
                                    .arg(name)
                                    .arg(*count));
            bool logged = false;
            if (counted && m_state.eventLog.size() < maxLoggedEvents && m_state.eventLoggingEnabled) {
                m_state.eventLog.append(TallyEvent(name, timed, std::move(parameters)));
                logged = true;
                if (debug)
                    lines.push_back(QStringLiteral("Event log for eventName[%1] updated").arg(name));
            }
            if (!logged)
                m_state.eventLogComplete = false;
        }
    }
    debugLines(lines);
    saveToDisk();
}

void TallySession::endTimedEvent(const QString& name, const std::optional<QVariantMap>& parameters)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    const QDateTime now = platform::Clock::now();
    std::vector<QString> lines;
    {
        std::scoped_lock lock(m_mutex);
        for (TallyEvent& event : m_state.eventLog) {
            if (!event.isUnterminated() || event.name() != name)
                continue;
            event.setEnded(now);
            if (parameters)
                event.setParameters(parameters);
            lines.push_back(
                QStringLiteral("event named[%1] ended at %2").arg(name, now.toString(Qt::ISODateWithMs)));
        }
    }
    debugLines(lines);
}

void TallySession::endTimedEvents()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    std::vector<QString> lines;
    {
        std::scoped_lock lock(m_mutex);
        for (TallyEvent& event : m_state.eventLog) {
            if (!event.isUnterminated() && !event.isAutomaticallyEnded())
                continue;
            event.setEnded(m_state.endTime);
            event.setAutomaticallyEnded(true);
            lines.push_back(QStringLiteral("forcefully terminated event named[%1]").arg(event.name()));
        }
    }
    debugLines(lines);
}

void TallySession::recordError(
    const QString& errorId, const QString& message, const std::exception* exception)
{
    const QString text = exception ? QStringLiteral("%1: %2").arg(
                             TallyUtil::exceptionName(*exception), QString::fromUtf8(exception->what()))
                                   : QStringLiteral("nil");
    recordError(errorId, message, text);
}

void TallySession::recordError(const QString& errorId, const QString& message, const platform::Error* error)
{
    const QString text = error
        ? QStringLiteral("%1: %2").arg(error->localizedDescription, error->localizedFailureReason)
        : QStringLiteral("nil");
    recordError(errorId, message, text);
}

void TallySession::recordError(const QString& errorId, const QString& message, const QString& exceptionString)
{
    bool stored = false;
    {
        std::scoped_lock lock(m_mutex);
        if (m_state.totalErrorCount < std::numeric_limits<std::int32_t>::max())
            ++m_state.totalErrorCount;
        if (m_state.errors.size() < maxStoredErrors) {
            const QString empty = QLatin1String("");
            m_state.errors.append({ platform::Clock::now(), errorId.isNull() ? empty : errorId,
                message.isNull() ? empty : message, exceptionString.isNull() ? empty : exceptionString });
            stored = true;
        }
    }
    TallyUtil::debugLog(stored ? QStringLiteral("Error id[%1] updated").arg(errorId)
                               : QStringLiteral("Error id[%1] not recorded").arg(errorId));
    saveToDisk();
}

void TallySession::maybeIncrementPageView()
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    const QDateTime now = platform::Clock::now();
    {
        PageViewClock& clock = pageViewClock();
        std::scoped_lock lock(clock.mutex);
        if (clock.lastCounted.isValid() && clock.lastCounted.msecsTo(now) <= pageViewSpacingMillis)
            return;
        clock.lastCounted = now;
    }
    std::scoped_lock lock(m_mutex);
    if (m_state.pageViewCount < std::numeric_limits<std::int32_t>::max())
        ++m_state.pageViewCount;
}

void TallySession::resetPageViewClock()
{
    PageViewClock& clock = pageViewClock();
    std::scoped_lock lock(clock.mutex);
    clock.lastCounted = QDateTime();
}

void TallySession::setUserID(const QString& userID)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    std::scoped_lock lock(m_mutex);
    m_state.userID = userID;
}

void TallySession::setGender(const QString& gender)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    std::scoped_lock lock(m_mutex);
    if (gender == QLatin1String("m"))
        m_state.gender = 1;
    else if (gender == QLatin1String("f"))
        m_state.gender = 0;
    else
        m_state.gender = -1;
}

void TallySession::setAge(std::int32_t age)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    if (age < minAge || age > maxAge)
        return;
    // The birth year is counted in the local calendar and its first local instant is stored.
    const int currentYear = platform::Clock::now().toLocalTime().date().year();
    const QDateTime birthYear(QDate(currentYear - age, 1, 1), QTime(0, 0), Qt::LocalTime);
    std::scoped_lock lock(m_mutex);
    m_state.age = birthYear;
}

void TallySession::setLatitude(
    double latitude, double longitude, float horizontalAccuracy, float verticalAccuracy)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    {
        std::scoped_lock lock(m_mutex);
        m_state.latitude = reduceLocationPrecision(latitude);
        m_state.longitude = reduceLocationPrecision(longitude);
        const double accuracy
            = (std::fabs(double(horizontalAccuracy)) + std::fabs(double(verticalAccuracy))) / 2;
        m_state.accuracy = static_cast<float>(reduceLocationPrecision(accuracy));
    }
    saveToDisk();
}

double TallySession::reduceLocationPrecision(double value)
{
    const double scaled = std::trunc(value * 1000);
    if (std::isnan(scaled))
        return 0;
    const double clamped = std::clamp(scaled, double(std::numeric_limits<std::int32_t>::min()),
        double(std::numeric_limits<std::int32_t>::max()));
    return static_cast<std::int32_t>(clamped) / 1000.0;
}

} // namespace analytics
