#pragma once

// Where sessions are kept between uploads and across process deaths: the current session's
// archive, the saved session records waiting to be sent, the sent marker and the initial
// timestamp. This base class keeps nothing (every operation does nothing or answers "none"); the
// file-backed store derives from it and is installed with setInstance().
//
// Threads: the main thread records and archives; upload threads read the saved records and, after
// a successful start-of-session upload, remove the ones they sent. Implementations must be safe
// to call from several threads at once. No analytics lock is held while any of these run.

#include <memory>

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include "analytics/TallySessionState.h"

namespace analytics {

class TallySession;

class TallySessionStore {
public:
    TallySessionStore() = default;
    TallySessionStore(const TallySessionStore&) = delete;
    TallySessionStore& operator=(const TallySessionStore&) = delete;
    virtual ~TallySessionStore() = default;

    // The installed store (the do-nothing one until another is installed). Any thread.
    static std::shared_ptr<TallySessionStore> instance();
    // Installs a store; null restores the do-nothing one. Main thread.
    static void setInstance(std::shared_ptr<TallySessionStore> store);

    // The (space-free) application key that file names derive from. Called at start and before
    // each new session.
    virtual void setApiKey(const QString& apiKey) { (void)apiKey; }

    // The current-session archive: the session as it is now (rewritten after every change), the
    // session a process left behind when it died without ending it (null when there is none or
    // it cannot be read), and its removal once the session is saved.
    virtual void saveCurrentSession(const TallySessionState& state) { (void)state; }
    virtual std::shared_ptr<TallySession> readCurrentSession() { return {}; }
    virtual void deleteCurrentSession() { }

    // The two hand-overs from the current-session archive to the saved records. Each may be cut
    // short by a kill at any instant and repeated by the next process; the file store makes a
    // repeat add nothing, so a session is never saved twice and never lost.
    // At start-up: the session a process left behind is saved (as crashed, unless it had ended
    // and was being handed over) and its archive removed.
    virtual void recoverFormerSession();
    // At the end of a session: its record (`record`, made from `state`) joins the saved ones and
    // its archive is removed.
    virtual void handOverEndedSession(const TallySessionState& state, const QByteArray& record)
    {
        (void)state;
        addToSavedSessions(record);
        deleteCurrentSession();
    }

    // The session records (TallySession::data()) of ended sessions, oldest first.
    virtual QList<QByteArray> savedSessions() { return {}; }
    virtual void setSavedSessions(const QList<QByteArray>& records) { (void)records; }
    // Appends one record, dropping the oldest beyond the maximum.
    virtual void addToSavedSessions(const QByteArray& record) { (void)record; }
    // After a successful upload: removes exactly the records that were sent, so a record saved
    // while the upload was in flight is kept for the next one.
    virtual void removeSavedSessions(const QList<QByteArray>& sentRecords) { (void)sentRecords; }
    virtual void setMaxSessions(int maximum) { (void)maximum; }

    // The start of the first session ever reported: the stored one, else `candidate`, which is
    // then stored.
    virtual QDateTime initialTimestamp(const QDateTime& candidate) { return candidate; }

    virtual bool sentSession() { return false; }
    virtual void setSentSession() { }

protected:
    // The record of a session that a killed process left behind: marked crashed.
    static QByteArray recordOfCrashed(TallySession& former);
};

} // namespace analytics
