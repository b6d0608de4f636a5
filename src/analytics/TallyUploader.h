#pragma once

// Sends reports to the collection server, and runs the heartbeat. This base class sends nothing;
// the network uploader derives from it and is installed with setInstance(). The lifecycle decides
// when to upload and on which thread; an uploader only does the blocking work:
//
//   const auto items = TallySession::sessionsToSend(sendCurrentSession);
//   const QByteArray report = TallySession::dataForSessions(items, requestAds);
//   ... POST it; with the long time-out and a success, store->removeSavedSessions(sent records),
//   store->setSentSession() and the current session's setInternetAvailable(true) ...
//
// The end-of-session upload is built on the main thread while the ending session is still the
// current one, and sent with sendPreparedReport() on an upload thread, after the session has been
// saved: the main thread never waits for a server, and an upload aborted at quit loses nothing.
//
// Threads: startHeartbeat() on the main thread; sendSessionsToServer() and sendPreparedReport()
// on an upload thread of their own, several at once possibly. They must return within their
// time-out (at once after platform::HttpClient::abortAll()) and must not throw (they are guarded
// anyway).

#include <memory>

#include <QByteArray>

namespace analytics {

class TallyUploader {
public:
    TallyUploader() = default;
    TallyUploader(const TallyUploader&) = delete;
    TallyUploader& operator=(const TallyUploader&) = delete;
    virtual ~TallyUploader() = default;

    // The installed uploader (the do-nothing one until another is installed). Any thread.
    static std::shared_ptr<TallyUploader> instance();
    // Installs an uploader; null restores the do-nothing one. Main thread.
    static void setInstance(std::shared_ptr<TallyUploader> uploader);

    // Starts the periodic heartbeat (once per process; later calls do nothing).
    virtual void startHeartbeat(double intervalSeconds) { (void)intervalSeconds; }

    // Blocks until the upload has ended. shortTimeout: 5 s and the answer is ignored (pause and
    // end of session); otherwise 20 s and a success removes the sent records.
    virtual void sendSessionsToServer(
        bool shortTimeout, bool useWebView, bool requestAds, bool sendCurrentSession)
    {
        (void)shortTimeout;
        (void)useWebView;
        (void)requestAds;
        (void)sendCurrentSession;
    }

    // Sends a report built beforehand, with the short time-out; the answer changes nothing.
    virtual void sendPreparedReport(const QByteArray& report) { (void)report; }
};

} // namespace analytics
