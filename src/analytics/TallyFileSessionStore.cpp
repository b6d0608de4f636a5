#include "analytics/TallyFileSessionStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "analytics/TallyFileCache.h"
#include "analytics/TallyPaths.h"
#include "analytics/TallySession.h"
#include "analytics/TallySessionArchive.h"
#include "analytics/TallyUtil.h"
#include "platform/system/AtomicFileWriter.h"
#include "platform/system/KeyedArchive.h"

namespace analytics {

namespace {

using platform::AtomicFileWriter;
using platform::KeyedArchive;

// Files are small; anything bigger is not ours and is not read into memory.
constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

std::optional<QByteArray> readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes)
        return std::nullopt;
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& bytes, AtomicFileWriter::Durability durability)
{
    if (!AtomicFileWriter::ensureDirectory(QFileInfo(path).absolutePath()))
        return false;
    const auto result = AtomicFileWriter::write(path, bytes, durability);
    if (!result)
        TallyUtil::debugLog(QStringLiteral("Could not write %1: %2").arg(path, result.error));
    return bool(result);
}

} // namespace

std::int32_t TallyFileSessionStore::keyHash(const QString& apiKey)
{
    // 32-bit FNV-1a over the UTF-8 bytes: the same in every run and on every machine.
    std::uint32_t hash = 2166136261u;
    for (const char byte : apiKey.toUtf8()) {
        hash ^= std::uint8_t(byte);
        hash *= 16777619u;
    }
    return static_cast<std::int32_t>(hash);
}

void TallyFileSessionStore::setApiKey(const QString& apiKey)
{
    bool firstUse = false;
    {
        std::scoped_lock lock(m_settingsMutex);
        m_apiKey = apiKey;
        firstUse = !m_cleanedKeys.contains(apiKey);
        m_cleanedKeys.insert(apiKey);
    }
    TallyFileCache::createInstanceWithApiKey(apiKey);
    if (firstUse)
        removeStaleTemporaryFiles();
}

void TallyFileSessionStore::removeStaleTemporaryFiles() const
{
    // A process killed in the middle of a rewrite leaves its temporary file behind (the real file
    // is intact). At the first use of a key no write of ours is under way yet, so what matches
    // our files' temporary names is litter.
    QDir directory(TallyPaths::libraryDirectory());
    for (const char* stem : { "tallyStored", "tallyCurrent", "tallySent", "initialTimestamp" }) {
        for (const bool older : { false, true }) {
            const QString pattern = QStringLiteral(".%1.tmp-*").arg(QFileInfo(filePath(stem, older)).fileName());
            for (const QString& name : directory.entryList({ pattern }, QDir::Files | QDir::Hidden))
                directory.remove(name);
        }
    }
}

void TallyFileSessionStore::setMaxSessions(int maximum)
{
    std::scoped_lock lock(m_settingsMutex);
    m_maxSessions = maximum;
}

QString TallyFileSessionStore::apiKey() const
{
    std::scoped_lock lock(m_settingsMutex);
    return m_apiKey;
}

QString TallyFileSessionStore::filePath(const char* stem, bool older) const
{
    const QString key = apiKey();
    const QString name = QStringLiteral("%1%2%3.archive")
                             .arg(older ? QString() : QStringLiteral("."), QString::fromLatin1(stem))
                             .arg(keyHash(key));
    return QDir(TallyPaths::libraryDirectory()).filePath(name);
}

QString TallyFileSessionStore::chosenPath(const char* stem) const
{
    const QString older = filePath(stem, true);
    return QFileInfo::exists(older) ? older : filePath(stem, false);
}

QString TallyFileSessionStore::sessionsFilePath() const { return chosenPath("tallyStored"); }
QString TallyFileSessionStore::oldSessionsFilePath() const { return filePath("tallyStored", true); }
QString TallyFileSessionStore::currentSessionFilePath() const { return chosenPath("tallyCurrent"); }
QString TallyFileSessionStore::oldCurrentSessionFilePath() const { return filePath("tallyCurrent", true); }
QString TallyFileSessionStore::sessionSentFilePath() const { return chosenPath("tallySent"); }
QString TallyFileSessionStore::oldSessionSentFilePath() const { return filePath("tallySent", true); }
QString TallyFileSessionStore::initialTimestampFilePath() const { return chosenPath("initialTimestamp"); }
QString TallyFileSessionStore::oldInitialTimestampFilePath() const { return filePath("initialTimestamp", true); }

void TallyFileSessionStore::saveCurrentSession(const TallySessionState& state)
{
    // Rewritten after every event, so written the fast way: atomic against a killed process,
    // not flushed (a power cut may lose the last events).
    writeFile(currentSessionFilePath(), TallySessionArchive::sessionFile(state),
              AtomicFileWriter::Durability::KeepPrevious);
}

std::shared_ptr<TallySession> TallyFileSessionStore::readCurrentSession()
{
    // The newest complete archive under either name (a process killed while moving versions
    // aside leaves only the previous one). Its content decides the rest: a session of a newer
    // archive version reads as absent.
    const auto isArchive = [](const QByteArray& bytes) { return KeyedArchive::unarchive(bytes).has_value(); };
    for (const QString& path : { oldCurrentSessionFilePath(), filePath("tallyCurrent", false) }) {
        if (const auto bytes = AtomicFileWriter::readLatest(path, isArchive, kMaxFileBytes)) {
            auto state = TallySessionArchive::sessionFromFile(*bytes);
            if (!state)
                return {};
            return std::make_shared<TallySession>(std::move(*state));
        }
    }
    return {};
}

void TallyFileSessionStore::deleteCurrentSession()
{
    AtomicFileWriter::remove(oldCurrentSessionFilePath());
    AtomicFileWriter::remove(filePath("tallyCurrent", false));
}

QList<QByteArray> TallyFileSessionStore::readSavedSessions() const
{
    QList<QByteArray> records;
    const auto bytes = readFile(sessionsFilePath());
    if (!bytes)
        return records;
    const auto root = KeyedArchive::unarchive(*bytes);
    if (!root || !root->isArray())
        return records;
    for (const QCborValue& value : root->toArray()) {
        if (value.isByteArray())
            records.append(value.toByteArray());
    }
    return records;
}

void TallyFileSessionStore::writeSavedSessions(const QList<QByteArray>& records) const
{
    QCborArray list;
    for (const QByteArray& record : records)
        list.append(record);
    writeFile(sessionsFilePath(), KeyedArchive::archive(list), AtomicFileWriter::Durability::Sync);
}

QList<QByteArray> TallyFileSessionStore::savedSessions()
{
    std::scoped_lock lock(m_savedMutex);
    return readSavedSessions();
}

void TallyFileSessionStore::setSavedSessions(const QList<QByteArray>& records)
{
    std::scoped_lock lock(m_savedMutex);
    writeSavedSessions(records);
}

QList<QByteArray> TallyFileSessionStore::removeOldSessionsIfNecessary(QList<QByteArray> records, int maximum)
{
    const auto limit = static_cast<std::uint32_t>(maximum);
    if (static_cast<std::uint32_t>(records.size()) > limit) {
        const qsizetype excess = records.size() - qsizetype(limit);
        TallyUtil::debugLog(QStringLiteral("Max sessions allowed[%1] exceeded").arg(maximum));
        TallyUtil::debugLog(QStringLiteral("Removing [%1] sessions from saved sessions").arg(excess));
        records.remove(0, excess);
    }
    return records;
}

void TallyFileSessionStore::addToSavedSessions(const QByteArray& record)
{
    int maximum = kDefaultMaxSessions;
    {
        std::scoped_lock lock(m_settingsMutex);
        maximum = m_maxSessions;
    }
    std::scoped_lock lock(m_savedMutex);
    QList<QByteArray> records = readSavedSessions();
    records.append(record);
    writeSavedSessions(removeOldSessionsIfNecessary(std::move(records), maximum));
}

void TallyFileSessionStore::removeSavedSessions(const QList<QByteArray>& sentRecords)
{
    std::scoped_lock lock(m_savedMutex);
    QList<QByteArray> records = readSavedSessions();
    for (const QByteArray& sent : sentRecords) {
        const qsizetype index = records.indexOf(sent);
        if (index >= 0)
            records.removeAt(index);
    }
    writeSavedSessions(records);
}

QDateTime TallyFileSessionStore::initialTimestamp(const QDateTime& candidate)
{
    std::scoped_lock lock(m_timestampMutex);
    if (const auto bytes = readFile(initialTimestampFilePath())) {
        if (const auto root = KeyedArchive::unarchive(*bytes)) {
            if (const auto date = KeyedArchive::toDate(*root)) {
                TallyUtil::debugLog(QStringLiteral("Initial timestamp[%1] from saved source").arg(date->toString(Qt::ISODateWithMs)));
                return date->toLocalTime();
            }
        }
    }
    writeFile(initialTimestampFilePath(), KeyedArchive::archive(KeyedArchive::dateValue(candidate)),
              AtomicFileWriter::Durability::Sync);
    TallyUtil::debugLog(QStringLiteral("Initial timestamp[%1] created and saved").arg(candidate.toString(Qt::ISODateWithMs)));
    return candidate;
}

bool TallyFileSessionStore::sentSession()
{
    return QFileInfo::exists(sessionSentFilePath());
}

void TallyFileSessionStore::setSentSession()
{
    const QString path = sessionSentFilePath();
    if (QFileInfo::exists(path))
        return;
    writeFile(path, {}, AtomicFileWriter::Durability::RenameOnly);
    TallyUtil::debugLog(QStringLiteral("application sent session[%1]").arg(keyHash(apiKey())));
}

} // namespace analytics
