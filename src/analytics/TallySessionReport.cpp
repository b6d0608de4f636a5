// TallySession: the session record, the report, and the device identifiers it carries.
#include "analytics/TallySession.h"

#include <limits>

#include "analytics/TallyAPI.h"
#include "analytics/TallyProtocolData.h"
#include "analytics/TallySessionStore.h"
#include "analytics/TallyUtil.h"
#include "platform/system/Clock.h"
#include "platform/system/DeviceInfo.h"
#include "platform/system/Digest.h"

namespace analytics {

namespace {

using P = TallyProtocolData;

std::uint16_t low16(qsizetype count)
{
    return static_cast<std::uint16_t>(count & 0xFFFF);
}

} // namespace

QByteArray TallySession::data() const
{
    // Encoded under the lock: the record shows one moment even while the main thread records.
    std::scoped_lock lock(m_mutex);
    const TallySessionState& s = m_state;
    QByteArray data;
    P::appendUshort(static_cast<std::uint16_t>(s.serializationVersion), data);
    P::appendString(s.appVersion, data);
    P::appendTimestamp(s.startTime, data);
    P::appendLong(s.endTime.isValid() ? P::timeIntervalFrom(s.startTime, s.endTime) : -1, data);
    P::appendLong(s.totalPauseIntervalMillis, data);
    P::appendString(s.locale, data);
    P::appendString(s.timeZone, data);
    P::appendBoolean(s.internetAvailable, data);
    P::appendString(s.userID, data);
    P::appendBoolean(true, data);
    P::appendDouble(s.latitude, data);
    P::appendDouble(s.longitude, data);
    P::appendFloat(s.accuracy, data);
    P::appendInt(s.pageViewCount, data);
    P::appendByte(0, data);
    P::appendByte(0, data);
    P::appendByte(static_cast<std::int8_t>(s.gender & 0xFF), data);
    P::appendBoolean(s.age.isValid(), data);
    if (s.age.isValid())
        P::appendTimestamp(s.age, data);
    P::appendUshort(low16(s.eventCounts.size()), data);
    for (auto it = s.eventCounts.cbegin(); it != s.eventCounts.cend(); ++it) {
        P::appendString(it.key(), data);
        P::appendInt(it.value(), data);
    }
    P::appendUshort(low16(s.eventLog.size()), data);
    for (const TallyEvent& event : s.eventLog)
        data.append(event.dataRelativeToSessionStart(s.startTime));
    P::appendBoolean(s.eventLogComplete, data);
    P::appendInt(s.totalErrorCount, data);
    P::appendUshort(low16(s.errors.size()), data);
    for (const TallySessionState::ErrorEntry& error : s.errors) {
        P::appendTimestamp(error.time, data);
        P::appendString(error.errorId, data);
        P::appendString(error.message, data);
        P::appendString(error.exceptionText, data);
    }
    P::appendUshort(0, data); // the content-offer log, always empty
    return data;
}

QByteArray TallySession::dataForSessions(const QList<TallyReportItem>& sessions, bool requestAds)
{
    const auto current = currentSession();
    const QDateTime now = platform::Clock::now();

    QByteArray report;
    P::appendUshort(reportFormatVersion, report);
    P::appendUshort(requestAds ? 1 : 0, report);
    P::appendLong(0, report); // content-cache timestamp
    P::appendUshort(0, report); // cached content ids
    const bool tablet = platform::DeviceInfo::userInterfaceIdiom() == platform::UserInterfaceIdiom::Tablet;
    P::appendUshort(tablet ? tabletFamily : phoneFamily, report);
    P::appendUshort(agentVersion, report);
    P::appendTimestamp(now, report);
    P::appendString(current ? current->apiKey() : QString(), report);
    P::appendString(current ? current->appVersion() : QString(), report);
    if (TallyAPI::udidEnabled()) {
        P::appendUshort(0, report);
        P::appendString(phoneID(), report);
    } else {
        P::appendUshort(1, report);
        P::appendShortData(tallyID(), report);
    }
    const QDateTime currentStart = current ? current->startTime() : QDateTime();
    P::appendTimestamp(TallySessionStore::instance()->initialTimestamp(current ? currentStart : now), report);
    P::appendTimestamp(currentStart, report);
    P::appendUshort(1, report);
    P::appendString(QStringLiteral("device.model.1"), report);
    P::appendString(devicePlatform(), report);

    QByteArray records;
    std::uint16_t count = 0;
    for (const TallyReportItem& item : sessions) {
        // The count is 16 bits wide; records beyond it wait for the next report.
        if (count == std::numeric_limits<std::uint16_t>::max())
            break;
        try {
            QByteArray record;
            if (const auto* bytes = std::get_if<QByteArray>(&item))
                record = *bytes;
            else if (const auto& session = std::get<std::shared_ptr<const TallySession>>(item))
                record = session->data();
            if (record.isEmpty())
                continue;
            records.append(record);
            ++count;
        } catch (const std::exception& exception) {
            TallyUtil::handleException(exception);
        }
    }
    P::appendUshort(count, report);
    report.append(records);
    return report;
}

QList<TallyReportItem> TallySession::sessionsToSend(bool includeCurrentSession)
{
    QList<TallyReportItem> items;
    for (const QByteArray& record : TallySessionStore::instance()->savedSessions())
        items.append(record);
    if (includeCurrentSession) {
        if (auto current = currentSession())
            items.append(std::shared_ptr<const TallySession>(std::move(current)));
    }
    return items;
}

QString TallySession::phoneID()
{
    static const QString id = QStringLiteral("IPHONE") + platform::DeviceInfo::uniqueDeviceIdentifier();
    return id;
}

QByteArray TallySession::tallyID()
{
    return hashData(phoneID().toUtf8());
}

QByteArray TallySession::hashData(const QByteArray& bytes)
{
    return platform::Digest::sha1(bytes);
}

QString TallySession::hashDataToHexString(const QByteArray& bytes, int length)
{
    return QString::fromLatin1(bytes.left(std::max(0, length)).toHex());
}

QString TallySession::devicePlatform()
{
    static const QString model = platform::DeviceInfo::hardwareModel();
    return model;
}

} // namespace analytics
