#pragma once

// The upload of reports to the collection server (installed as TallyUploader by the layer), and
// the heartbeat.
//
// sendSessionsToServer: the list is the saved records, plus the current session when asked; the
// report is POSTed ("Content-Type: application/octet-stream") to TallyAPI::serverURL() with the
// short (5 s) or long (20 s) time-out for the whole exchange — or, when a saved-response URL is
// set, nothing is sent and that saved answer stands in. With the debug log on, the answer is also
// kept in the documents folder. A short-time-out upload (pause, end of session) changes nothing
// afterwards. Otherwise a success (200–399, the exchange completed) marks the current session's internet as
// available, removes exactly the records that were sent (a record saved meanwhile stays) and writes the sent
// marker; a failure marks the internet unavailable and keeps every record.
//
// sendPreparedReport: the end-of-session upload, whose report was built while the session was
// still current; sent like a short-time-out upload.
//
// Threads: sendSessionsToServer and sendPreparedReport on any thread, several at once; they block
// on the calling thread and return within the time-out, or at once after an abort.
// startHeartbeat on the main thread.

#include <chrono>

#include "analytics/TallyHTTPResponse.h"
#include "analytics/TallyUploader.h"
#include "platform/core/ThreadChecker.h"

namespace analytics {

class TallyNetworkUploader : public TallyUploader {
public:
    static constexpr std::chrono::milliseconds kShortTimeout { std::chrono::seconds(5) };
    static constexpr std::chrono::milliseconds kLongTimeout { std::chrono::seconds(20) };

    // Tests pass shorter time-outs.
    explicit TallyNetworkUploader(std::chrono::milliseconds shortTimeout = kShortTimeout,
        std::chrono::milliseconds longTimeout = kLongTimeout)
        : m_shortTimeout(shortTimeout)
        , m_longTimeout(longTimeout)
    {
    }

    std::chrono::milliseconds shortTimeout() const { return m_shortTimeout; }
    std::chrono::milliseconds longTimeout() const { return m_longTimeout; }

    void startHeartbeat(double intervalSeconds) override;
    void sendSessionsToServer(
        bool shortTimeout, bool useWebView, bool requestAds, bool sendCurrentSession) override;
    void sendPreparedReport(const QByteArray& report) override;

private:
    // POSTs the report (or replays the saved answer) and keeps the debug copy.
    TallyHTTPResponse deliver(const QByteArray& report, bool shortTimeout) const;

    const std::chrono::milliseconds m_shortTimeout;
    const std::chrono::milliseconds m_longTimeout;
    [[no_unique_address]] platform::ThreadChecker m_mainThread;
};

} // namespace analytics
