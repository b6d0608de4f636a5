#include "analytics/TallyNetworkUploader.h"

#include <QUrl>

#include "analytics/TallyAPI.h"
#include "analytics/TallyHTTPEater.h"
#include "analytics/TallyHTTPResponse.h"
#include "analytics/TallyHeartBeater.h"
#include "analytics/TallySession.h"
#include "analytics/TallySessionStore.h"
#include "analytics/TallyUtil.h"

namespace analytics {

void TallyNetworkUploader::startHeartbeat(double intervalSeconds)
{
    LUMIVUE_CHECK_THREAD(m_mainThread);
    TallyHeartBeater::createAndStartInstance(intervalSeconds);
}

TallyHTTPResponse TallyNetworkUploader::deliver(const QByteArray& report, bool shortTimeout) const
{
    const std::chrono::milliseconds timeout = shortTimeout ? m_shortTimeout : m_longTimeout;
    TallyHTTPResponse response;
    const QString savedResponseURL = TallyAPI::savedResponseURL();
    if (!savedResponseURL.isEmpty()) {
        response = TallyHTTPResponse::readFromURL(QUrl(savedResponseURL))
                       .value_or(TallyHTTPResponse({}, 0, {}, QStringLiteral("saved answer unreadable")));
    } else {
        const QMap<QString, QString> headers { { QStringLiteral("Content-Type"),
            QStringLiteral("application/octet-stream") } };
        response = TallyHTTPEater::sendMethod(
            QStringLiteral("POST"), QUrl(TallyAPI::serverURL()), report, headers, timeout);
    }
    if (TallyUtil::isDebugLogEnabled())
        response.saveToDisk();
    return response;
}

void TallyNetworkUploader::sendPreparedReport(const QByteArray& report)
{
    TallyUtil::guard([&] {
        TallyUtil::debugLog(
            QStringLiteral("Sending sessions to server withTimeout[%1]")
                .arg(std::chrono::duration_cast<std::chrono::seconds>(m_shortTimeout).count()));
        deliver(report, true); // like every short-time-out upload, the answer changes nothing
    });
}

void TallyNetworkUploader::sendSessionsToServer(
    bool shortTimeout, bool useWebView, bool requestAds, bool sendCurrentSession)
{
    TallyUtil::guard([&] {
        const std::chrono::milliseconds timeout = shortTimeout ? m_shortTimeout : m_longTimeout;
        TallyUtil::debugLog(QStringLiteral("Sending sessions to server withTimeout[%1]")
                                .arg(std::chrono::duration_cast<std::chrono::seconds>(timeout).count()));

        const QList<TallyReportItem> items = TallySession::sessionsToSend(sendCurrentSession);
        // What a success may remove: the saved records in this report, and nothing saved later.
        QList<QByteArray> sentRecords;
        for (const TallyReportItem& item : items) {
            if (const auto* record = std::get_if<QByteArray>(&item))
                sentRecords.append(*record);
        }

        if (useWebView)
            TallyUtil::debugLog(QStringLiteral("No web-view transport; sending over HTTP"));
        const TallyHTTPResponse response
            = deliver(TallySession::dataForSessions(items, requestAds), shortTimeout);
        if (shortTimeout)
            return; // pause and end-of-session uploads never change what is saved

        const auto current = TallySession::currentSession();
        if (response.isDelivered()) {
            if (current)
                current->setInternetAvailable(true);
            const auto store = TallySessionStore::instance();
            store->removeSavedSessions(sentRecords);
            store->setSentSession();
            TallyUtil::debugLog(QStringLiteral("Sent %1 session(s).").arg(sentRecords.size()));
        } else {
            if (current)
                current->setInternetAvailable(false);
            TallyUtil::debugLog(QStringLiteral("Could not connect to server."));
        }
    });
}

} // namespace analytics
