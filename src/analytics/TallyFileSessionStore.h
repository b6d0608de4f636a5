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
// sessions are also flushed to disk first, since they are the only copy of ended sessions. A file
// that cannot be decoded reads as absent. Read-modify-write of the saved sessions is serialised
// by m_savedMutex, so an upload removing the records it sent cannot drop one added meanwhile.
//
// Setting a key also creates the per-key file cache (TallyFileCache) and, at the first use of a
// key, removes temporary files that a killed process left behind.
//
// Any thread.

#include <cstdint>
#include <mutex>

#include <QSet>

#include "analytics/TallySessionStore.h"

namespace analytics {

class TallyFileSessionStore : public TallySessionStore {
public:
    static constexpr int kDefaultMaxSessions = 50;

    TallyFileSessionStore() = default;

    // The stable hash that names the files.
    static std::int32_t keyHash(const QString& apiKey);

    void setApiKey(const QString& apiKey) override;
    void saveCurrentSession(const TallySessionState& state) override;
    std::shared_ptr<TallySession> readCurrentSession() override;
    void deleteCurrentSession() override;
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

    std::mutex m_savedMutex;     // serialises read-modify-write of the saved-sessions file
    std::mutex m_timestampMutex; // serialises the read-or-create of the initial timestamp
};

} // namespace analytics
