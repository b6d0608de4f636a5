#include "analytics/TallyFileSessionStore.h"

#include <QCborStreamReader>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "analytics/TallyDataFolder.h"
#include "analytics/TallyFileCache.h"
#include "analytics/TallyPaths.h"
#include "analytics/TallySession.h"
#include "analytics/TallySessionArchive.h"
#include "analytics/TallyUtil.h"
#include "platform/system/AtomicFileWriter.h"
#include "platform/system/FaultPoint.h"
#include "platform/system/KeyedArchive.h"

namespace analytics {

namespace {

using platform::AtomicFileWriter;
using platform::KeyedArchive;

// Files are small; anything bigger is not read into memory.
constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

// The first of "<path>.<what>", "<path>.<what>-2", ... that is not taken.
QString freeAsideName(const QString& path, const QString& what)
{
    QString aside = path + QLatin1Char('.') + what;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + QLatin1Char('.') + what + QLatin1Char('-') + QString::number(n);
    return aside;
}

// A file past the read limit cannot be read back, but it may hold the only copy of something:
// it is moved out of the way (so the store can go on) and kept for whoever wants to look.
void setAsideOversized(const QString& path)
{
    const QString aside = freeAsideName(path, QStringLiteral("oversized"));
    const bool moved = QFile::rename(path, aside);
    TallyUtil::debugLog(QStringLiteral("%1 is larger than the %2 MiB read limit; %3")
                            .arg(path)
                            .arg(kMaxFileBytes >> 20)
                            .arg(moved ? QStringLiteral("kept aside as %1").arg(aside)
                                       : QStringLiteral("it could not be moved aside")));
}

// The file's bytes, absent when there is no such file or it is past the read limit (then set aside).
std::optional<QByteArray> readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (file.size() > kMaxFileBytes) {
        file.close();
        setAsideOversized(path);
        return std::nullopt;
    }
    return file.readAll();
}

// Reads one text item; absent at anything else or at damage.
std::optional<QString> readText(QCborStreamReader& reader)
{
    if (!reader.isString())
        return std::nullopt;
    QString text;
    auto chunk = reader.readString();
    for (; chunk.status == QCborStreamReader::Ok; chunk = reader.readString())
        text += chunk.data;
    if (chunk.status != QCborStreamReader::EndOfString)
        return std::nullopt;
    return text;
}

// The records of a saved-sessions file that does not decode whole (cut short, or damaged in the
// middle): each record is a length-prefixed byte string of its own, so every one before the
// damage is still intact. Absent when the bytes do not even start as a saved-sessions archive.
std::optional<QList<QByteArray>> salvageRecords(const QByteArray& bytes)
{
    QCborStreamReader reader(bytes);
    if (!reader.isTag() || reader.toTag() != KeyedArchive::kSelfDescribeTag || !reader.next())
        return std::nullopt;
    if (!reader.isMap() || !reader.enterContainer())
        return std::nullopt;
    // The envelope as it is written: format name, envelope version, then the root list.
    if (readText(reader) != KeyedArchive::kFormatKey || readText(reader) != KeyedArchive::kFormatName)
        return std::nullopt;
    if (readText(reader) != KeyedArchive::kVersionKey || !reader.isInteger()
        || reader.toInteger() != KeyedArchive::kEnvelopeVersion || !reader.next())
        return std::nullopt;
    if (readText(reader) != KeyedArchive::kRootKey || !reader.isArray() || !reader.enterContainer())
        return std::nullopt;
    QList<QByteArray> records;
    while (reader.lastError() == QCborError::NoError && reader.hasNext()) {
        if (!reader.isByteArray()) {
            if (!reader.next())
                break;
            continue;
        }
        QByteArray record;
        auto chunk = reader.readByteArray();
        for (; chunk.status == QCborStreamReader::Ok; chunk = reader.readByteArray())
            record += chunk.data;
        if (chunk.status != QCborStreamReader::EndOfString)
            break;
        records.append(record);
    }
    return records;
}

bool writeFile(const QString& path, const QByteArray& bytes, AtomicFileWriter::Durability durability)
{
    const QString folder = QFileInfo(path).absolutePath();
    QString whyNot;
    if (!TallyDataFolder::makeFolder(folder, &whyNot)) {
        TallyDataFolder::warnUnwritable(folder, whyNot);
        return false;
    }
    const auto result = AtomicFileWriter::write(path, bytes, durability);
    if (!result) {
        TallyUtil::debugLog(QStringLiteral("Could not write %1: %2").arg(path, result.error));
        TallyDataFolder::warnUnwritable(folder, result.error);
    }
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

bool TallyFileSessionStore::isStoreFileName(const QString& name)
{
    // NAME is one of the four files under either name (filePath); beside it its previous copy
    // (AtomicFileWriter::previousPath), its temporary copies and the copies set aside above.
    static const QRegularExpression pattern(QStringLiteral(
        R"(^(?:(?<name>\.?(?:tallyStored|tallyCurrent|tallySent|initialTimestamp)-?\d{1,10}\.archive))"
        R"(|\.(?&name)\.previous|\.(?&name)\.tmp-[A-Za-z0-9]{6}|(?&name)\.(?:damaged|oversized)(?:-\d+)?)$)"));
    return pattern.match(name).hasMatch();
}

void TallyFileSessionStore::setApiKey(const QString& apiKey)
{
    bool firstUse = false;
    bool changed = false;
    {
        std::scoped_lock lock(m_settingsMutex);
        changed = m_apiKey != apiKey;
        m_apiKey = apiKey;
        firstUse = !m_cleanedKeys.contains(apiKey);
        m_cleanedKeys.insert(apiKey);
    }
    if (changed) {
        std::scoped_lock lock(m_sequenceMutex);
        m_lastSequence = -1; // another key's files: their numbers are read afresh
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
            const QString pattern
                = QStringLiteral(".%1.tmp-*").arg(QFileInfo(filePath(stem, older)).fileName());
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

QString TallyFileSessionStore::sessionsFilePath() const
{
    return chosenPath("tallyStored");
}
QString TallyFileSessionStore::oldSessionsFilePath() const
{
    return filePath("tallyStored", true);
}
QString TallyFileSessionStore::currentSessionFilePath() const
{
    return chosenPath("tallyCurrent");
}
QString TallyFileSessionStore::oldCurrentSessionFilePath() const
{
    return filePath("tallyCurrent", true);
}
QString TallyFileSessionStore::sessionSentFilePath() const
{
    return chosenPath("tallySent");
}
QString TallyFileSessionStore::oldSessionSentFilePath() const
{
    return filePath("tallySent", true);
}
QString TallyFileSessionStore::initialTimestampFilePath() const
{
    return chosenPath("initialTimestamp");
}
QString TallyFileSessionStore::oldInitialTimestampFilePath() const
{
    return filePath("initialTimestamp", true);
}

qint64 TallyFileSessionStore::nextSequence()
{
    std::scoped_lock lock(m_sequenceMutex);
    if (m_lastSequence < 0) {
        // Continues after whatever an earlier process wrote, so the newest file is always known
        // by its number, whatever the clock did in between.
        m_lastSequence = 0;
        for (const CurrentFile& file : currentFiles())
            m_lastSequence = std::max(m_lastSequence, file.sequence);
    }
    return ++m_lastSequence;
}

QList<TallyFileSessionStore::CurrentFile> TallyFileSessionStore::currentFiles() const
{
    // Ranked by sequence; files written before there was one rank below every numbered file and
    // among themselves the current name before the older one (read only to migrate), each before
    // its previous copy.
    const QString current = filePath("tallyCurrent", false);
    const QString older = filePath("tallyCurrent", true);
    const QString paths[]
        = { current, AtomicFileWriter::previousPath(current), older, AtomicFileWriter::previousPath(older) };
    QList<CurrentFile> files;
    for (int i = 0; i < 4; ++i) {
        const auto bytes = readFile(paths[i]);
        if (!bytes)
            continue;
        const auto root = KeyedArchive::unarchive(*bytes);
        const auto archive = root ? KeyedArchive::fromValue(*root) : std::nullopt;
        if (!archive)
            continue; // torn or foreign: not a version of the session at all
        CurrentFile file;
        file.path = paths[i];
        file.sequence = archive->decodeInt64(TallySessionArchive::kSequenceKey).value_or(-1);
        file.tieRank = 4 - i;
        file.state = TallySessionArchive::decodeSession(*archive);
        file.handedOverRecord = archive->decodeBytes(TallySessionArchive::kHandedOverKey);
        files.append(std::move(file));
    }
    std::sort(files.begin(), files.end(), [](const CurrentFile& a, const CurrentFile& b) {
        return std::pair(a.sequence, a.tieRank) > std::pair(b.sequence, b.tieRank);
    });
    return files;
}

void TallyFileSessionStore::saveCurrentSession(const TallySessionState& state)
{
    // Rewritten after every event, so written the fast way: atomic against a killed process,
    // not flushed (a power cut may lose the last events).
    TallySessionArchive::StoreKeys keys;
    keys.sequence = nextSequence();
    writeFile(currentSessionFilePath(), TallySessionArchive::sessionFile(state, keys),
        AtomicFileWriter::Durability::KeepPrevious);
}

std::shared_ptr<TallySession> TallyFileSessionStore::readCurrentSession()
{
    // The newest complete version under either name. Its content decides the rest: a session of
    // a newer archive version reads as absent rather than an older copy being taken for it.
    const QList<CurrentFile> files = currentFiles();
    if (files.isEmpty() || !files.first().state)
        return {};
    return std::make_shared<TallySession>(*files.first().state);
}

void TallyFileSessionStore::deleteCurrentSession()
{
    // Previous copies first: a kill part-way leaves the newest version, never an older one that
    // would be recovered as a crashed session.
    for (const bool older : { true, false }) {
        const QString path = filePath("tallyCurrent", older);
        QFile::remove(AtomicFileWriter::previousPath(path));
    }
    for (const bool older : { true, false })
        QFile::remove(filePath("tallyCurrent", older));
}

void TallyFileSessionStore::recoverFormerSession()
{
    const QList<CurrentFile> files = currentFiles();
    if (!files.isEmpty() && files.first().state) {
        const CurrentFile& newest = files.first();
        QByteArray record;
        if (newest.handedOverRecord) {
            // The session had ended; the kill fell while it was being moved to the saved list.
            TallyUtil::debugLog(QStringLiteral("Finish handing over the former session"));
            record = *newest.handedOverRecord;
        } else {
            TallySession former(*newest.state);
            record = recordOfCrashed(former);
        }
        // The same file always gives the same record, so a repeat after a kill adds nothing.
        addToSavedSessionsOnce(record);
        platform::FaultPoint::reached("store-recovery-added");
    }
    deleteCurrentSession();
}

void TallyFileSessionStore::handOverEndedSession(const TallySessionState& state, const QByteArray& record)
{
    // 1. The archive is marked as handed over, with the record itself: from here on a kill at
    //    any instant is finished by the next start-up with exactly these bytes.
    TallySessionArchive::StoreKeys keys;
    keys.sequence = nextSequence();
    keys.handedOverRecord = &record;
    writeFile(currentSessionFilePath(), TallySessionArchive::sessionFile(state, keys),
        AtomicFileWriter::Durability::RenameOnly);
    platform::FaultPoint::reached("store-handover-marked");
    // 2. The record joins the saved ones unless an interrupted hand-over already added it.
    addToSavedSessionsOnce(record);
    platform::FaultPoint::reached("store-handover-added");
    // 3. The archive goes.
    deleteCurrentSession();
}

void TallyFileSessionStore::addToSavedSessionsOnce(const QByteArray& record)
{
    int maximum = kDefaultMaxSessions;
    {
        std::scoped_lock lock(m_settingsMutex);
        maximum = m_maxSessions;
    }
    std::scoped_lock lock(m_savedMutex);
    QList<QByteArray> records = readSavedSessions();
    if (records.contains(record))
        return;
    records.append(record);
    writeSavedSessions(removeOldSessionsIfNecessary(std::move(records), maximum));
}

QList<QByteArray> TallyFileSessionStore::readSavedSessions() const
{
    const QString path = sessionsFilePath();
    const auto bytes = readFile(path);
    if (!bytes)
        return {};
    const auto root = KeyedArchive::unarchive(*bytes);
    if (root && root->isArray()) {
        QList<QByteArray> records;
        // A const array: iterating a non-const one would detach it from the decoded root first.
        const QCborArray stored = root->toArray();
        for (const auto& value : stored) {
            if (value.isByteArray())
                records.append(value.toByteArray());
        }
        return records;
    }
    // Damaged: the intact records are read back and written as a fresh file; the damaged one is
    // kept beside it (copied first, so a kill in between loses nothing).
    QList<QByteArray> salvaged
        = root ? QList<QByteArray>() : salvageRecords(*bytes).value_or(QList<QByteArray>());
    const QString aside = freeAsideName(path, QStringLiteral("damaged"));
    const bool kept = QFile::copy(path, aside);
    TallyUtil::debugLog(
        QStringLiteral("The saved sessions file %1 is damaged; %2 intact session(s) read back, %3")
            .arg(path)
            .arg(salvaged.size())
            .arg(kept ? QStringLiteral("the damaged file kept as %1").arg(aside)
                      : QStringLiteral("the damaged file could not be kept")));
    if (kept)
        writeSavedSessions(salvaged);
    return salvaged;
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
    platform::FaultPoint::reached("store-sent-removing");
    writeSavedSessions(records);
    platform::FaultPoint::reached("store-sent-removed");
}

QDateTime TallyFileSessionStore::initialTimestamp(const QDateTime& candidate)
{
    std::scoped_lock lock(m_timestampMutex);
    if (const auto bytes = readFile(initialTimestampFilePath())) {
        if (const auto root = KeyedArchive::unarchive(*bytes)) {
            if (const auto date = KeyedArchive::toDate(*root)) {
                TallyUtil::debugLog(QStringLiteral("Initial timestamp[%1] from saved source")
                                        .arg(date->toString(Qt::ISODateWithMs)));
                return date->toLocalTime();
            }
        }
    }
    writeFile(initialTimestampFilePath(), KeyedArchive::archive(KeyedArchive::dateValue(candidate)),
        AtomicFileWriter::Durability::Sync);
    TallyUtil::debugLog(
        QStringLiteral("Initial timestamp[%1] created and saved").arg(candidate.toString(Qt::ISODateWithMs)));
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
