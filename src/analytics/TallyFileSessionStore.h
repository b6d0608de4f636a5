#pragma once

// The session store on disk. Four files per application key in the library directory
// (TallyPaths), each named with the key's 32-bit hash (signed decimal):
//
//   saved sessions     ".tallyStored%d.archive"       keyed archive: list of session records
//   current session    ".tallyCurrent%d.archive"      keyed archive: the session (TallySessionArchive)
//   sent marker        ".tallySent%d.archive"         empty; only its existence counts
//   initial timestamp  ".initialTimestamp%d.archive"  keyed archive: a date
//
// Each also has an older name without the leading dot; when a file of the older name exists it
// keeps being read and written under that name.
//
// Every write replaces the whole file atomically (temporary file + rename), owner-only; the saved
// sessions are also flushed to disk first, since they are the only copy of ended sessions.
// Read-modify-write of the saved sessions is serialised by m_savedMutex, so an upload removing the
// records it sent cannot drop one added meanwhile.
//
// Damage and size: no file past 64 MiB is read; such a file is renamed "<name>.oversized" (kept,
// with a debug line) and reads as absent. A saved-sessions file that does not decode whole gives
// back every record before the damage; the damaged file is copied to "<name>.damaged" and the
// intact records are written as the new file. Other undecodable files read as absent.
//
// The current-session archive carries a sequence number, larger in every newer file; recovery
// takes the newest decodable version among the file, its previous copy and the older names'
// files (which are read only so that an old installation's session is not lost). The hand-overs
// to the saved list (recovery at start-up, the end of a session) add a record only if the exact
// same record is not already saved, and a session that ended is first marked in its archive with
// its record; so a kill at any instant of a hand-over, followed by a new start, leaves the session
// saved exactly once.
//
// Setting a key also creates the per-key file cache (TallyFileCache) and, at the first use of a
// key, removes temporary files that a killed process left behind.
//
// Any thread.

#include <cstdint>
#include <mutex>
#include <optional>

#include <QSet>

#include "analytics/TallySessionStore.h"

namespace analytics {

class TallyFileSessionStore : public TallySessionStore {
public:
    static constexpr int kDefaultMaxSessions = 50;

    TallyFileSessionStore() = default;

    // The stable hash that names the files.
    static std::int32_t keyHash(const QString& apiKey);
    // Whether a file name in the library directory is one this store writes (for any key): the
    // files above, their previous and temporary copies, and the copies set aside.
    static bool isStoreFileName(const QString& name);

    void setApiKey(const QString& apiKey) override;
    void saveCurrentSession(const TallySessionState& state) override;
    std::shared_ptr<TallySession> readCurrentSession() override;
    void deleteCurrentSession() override;
    void recoverFormerSession() override;
    void handOverEndedSession(const TallySessionState& state, const QByteArray& record) override;
    QList<QByteArray> savedSessions() override;
    void setSavedSessions(const QList<QByteArray>& records) override;
    void addToSavedSessions(const QByteArray& record) override;
    void removeSavedSessions(const QList<QByteArray>& sentRecords) override;
    void setMaxSessions(int maximum) override;
    QDateTime initialTimestamp(const QDateTime& candidate) override;
    bool sentSession() override;
    void setSentSession() override;

    // Drops the oldest records beyond `maximum` (compared as unsigned, so a negative maximum
    // never drops anything).
    static QList<QByteArray> removeOldSessionsIfNecessary(QList<QByteArray> records, int maximum);

    // The path operations: the older name's path when such a file exists, else the current name's.
    QString sessionsFilePath() const;
    QString oldSessionsFilePath() const;
    QString currentSessionFilePath() const;
    QString oldCurrentSessionFilePath() const;
    QString sessionSentFilePath() const;
    QString oldSessionSentFilePath() const;
    QString initialTimestampFilePath() const;
    QString oldInitialTimestampFilePath() const;

private:
    // One readable version of the current-session archive.
    struct CurrentFile {
        QString path;
        qint64 sequence { -1 }; // -1: written before files were numbered
        int tieRank { 0 };
        std::optional<TallySessionState> state; // absent: a newer archive version
        std::optional<QByteArray> handedOverRecord;
    };
    QList<CurrentFile> currentFiles() const; // newest first
    qint64 nextSequence();
    void addToSavedSessionsOnce(const QByteArray& record);

    QString apiKey() const;
    QString filePath(const char* stem, bool older) const;
    QString chosenPath(const char* stem) const;
    void removeStaleTemporaryFiles() const;
    QList<QByteArray> readSavedSessions() const;
    void writeSavedSessions(const QList<QByteArray>& records) const;

    mutable std::mutex m_settingsMutex; // guards m_apiKey, m_maxSessions, m_cleanedKeys
    QString m_apiKey;
    QSet<QString> m_cleanedKeys;
    int m_maxSessions { kDefaultMaxSessions };

    std::mutex m_savedMutex; // serialises read-modify-write of the saved-sessions file
    std::mutex m_timestampMutex; // serialises the read-or-create of the initial timestamp
    std::mutex m_sequenceMutex; // guards m_lastSequence
    qint64 m_lastSequence { -1 }; // -1: not yet read from the files
};

} // namespace analytics
