#include <sys/stat.h>

#include <QCryptographicHash>
#include <QFileInfo>
#include <QStringList>

#include "analytics/TallySessionArchive.h"
#include "analytics/TallyUtil.h"
#include "platform/core/Log.h"
#include "platform/system/AtomicFileWriter.h"
#include "support/AnalyticsFixture.h"
#include "support/LogCapture.h"

namespace {

using analytics::TallyAPI;
using analytics::TallySessionArchive;
using analytics::TallySessionState;

QDateTime at(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs);
}

TallySessionState fullState()
{
    TallySessionState state;
    state.serializationVersion = 1;
    state.startTime = at(1338508800123);
    state.endTime = at(1338508900456);
    state.pauseTime = at(1338508900456);
    state.totalPauseIntervalMillis = 4321;
    state.latitude = 12.345;
    state.longitude = -12.345;
    state.accuracy = 5.5f;
    state.crashed = true;
    state.apiKey = QStringLiteral("KEY");
    state.appVersion = QStringLiteral("2.1");
    state.userID = QStringLiteral("user-7");
    state.eventCounts = { { QStringLiteral("TAKE_PICTURE"), 3 }, { QStringLiteral("ZOOM"), 1 } };
    analytics::TallyEvent timed(QStringLiteral("ZOOM"), true, QVariantMap { { QStringLiteral("level"), 4 } });
    timed.setStarted(at(1338508801000));
    timed.setEnded(at(1338508802500));
    timed.setAutomaticallyEnded(true);
    analytics::TallyEvent plain(QStringLiteral("TAKE_PICTURE"));
    plain.setStarted(at(1338508803000));
    state.eventLog = { timed, plain };
    state.eventLogComplete = false;
    state.errors = { { at(1338508804000), QStringLiteral("Uncaught"), QStringLiteral("Crash!"),
        QStringLiteral("std::runtime_error: boom") } };
    state.totalErrorCount = 2;
    state.pageViewCount = 6;
    state.locale = QStringLiteral("en_GB");
    state.timeZone = QStringLiteral("Europe/London");
    state.internetAvailable = false;
    state.gender = 1;
    state.age = at(378691200000);
    return state;
}

class TallyPersistenceTest : public testing_support::AnalyticsFixture {
protected:
    void SetUp() override
    {
        AnalyticsFixture::SetUp();
        analytics::TallyUploader::setInstance(nullptr); // persistence only: nothing leaves the machine
    }

    // Goes to the background for longer than the continue period and back: the session is saved
    // and a new one starts. Returns the start of the session that was saved.
    QDateTime endSessionOffline()
    {
        QDateTime start = analytics::TallySession::currentSession()->startTime();
        TallyAPI::pauseSession();
        platform::Clock::advance(10001);
        TallyAPI::resumeSession();
        TallyAPI::waitForUploads();
        return start;
    }

    qint64 recordStart(const QByteArray& record) const
    {
        const auto decoded = analytics::TallyReportDecoder::decodeSessionRecord(record);
        EXPECT_TRUE(decoded.ok()) << decoded.error.toStdString();
        return qint64(decoded.json.value(QLatin1String("startTime")).toDouble());
    }

    // The debug log lines that `work` writes.
    template <typename Work> static QStringList debugLogOf(Work work)
    {
        testing_support::LogCapture log;
        analytics::TallyUtil::setDebugLogEnabled(true);
        work();
        analytics::TallyUtil::setDebugLogEnabled(false);
        return log.lines();
    }

    qint64 reportInitialTimestamp() const
    {
        const auto decoded = analytics::TallyReportDecoder::decodeReport(
            analytics::TallySession::dataForSessions({}, false));
        EXPECT_TRUE(decoded.ok()) << decoded.error.toStdString();
        return qint64(decoded.json.value(QLatin1String("initialTimestamp")).toDouble());
    }
};

// The bytes of a session file are fixed: a file written by one build is read by the next, and
// the streamed writer must keep producing exactly these bytes whatever encodes them underneath.
// Times, the user and the age are left out when absent, not written empty.
struct SessionFile {
    const char* name;
    TallySessionState (*state)();
    qsizetype size;
    const char* sha1; // of the file's bytes
};

class TallySessionFile : public ::testing::TestWithParam<SessionFile> { };

TEST_P(TallySessionFile, BytesStayTheSameFromBuildToBuild)
{
    const QByteArray file = TallySessionArchive::sessionFile(GetParam().state());
    EXPECT_EQ(file.size(), GetParam().size);
    EXPECT_EQ(QCryptographicHash::hash(file, QCryptographicHash::Sha1).toHex(), GetParam().sha1);
    // Read back, the session writes the same bytes again: nothing is lost on the way.
    const auto restored = TallySessionArchive::sessionFromFile(file);
    ASSERT_TRUE(restored);
    EXPECT_EQ(TallySessionArchive::sessionFile(*restored), file);
}

TallySessionState everyKindOfValue()
{
    TallySessionState state = fullState();
    analytics::TallyEvent mixed(QStringLiteral("FILTER \u263A"), false,
        QVariantMap { { QStringLiteral("name"), QStringLiteral("Grüße") }, { QStringLiteral("ratio"), 0.25 },
            { QStringLiteral("on"), true }, { QStringLiteral("big"), qint64(1) << 40 },
            { QStringLiteral("list"), QVariantList { 1, QStringLiteral("two") } } });
    mixed.setStarted(at(-1500));
    state.eventLog.append(mixed);
    state.eventCounts.insert(QString(40, QLatin1Char('x')), 70000);
    state.adLog = { QVariantMap { { QStringLiteral("ad"), 1 } } };
    state.totalPauseIntervalMillis = -5;
    return state;
}

INSTANTIATE_TEST_SUITE_P(States, TallySessionFile,
    ::testing::Values(
        SessionFile { "EveryKindOfValue", everyKindOfValue, 845, "89796728dc48c0a6d85f11549e349a6d95ef52e8" },
        SessionFile { "OnlyAStartTime",
            [] {
                TallySessionState state;
                state.startTime = at(1);
                return state;
            },
            319, "461e32a599748cd5673d05afd11dfa33ee06bc7d" }),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(TallyPersistenceTest, UnreadableCurrentSessionFilesAreTreatedAsAbsent)
{
    auto newer = platform::KeyedArchive::fromValue(
        *platform::KeyedArchive::unarchive(TallySessionArchive::sessionFile(fullState())));
    ASSERT_TRUE(newer);
    newer->encodeInt32("serializationVersion", 2);
    const QByteArray valid = TallySessionArchive::sessionFile(fullState());
    const QByteArray candidates[] = { platform::KeyedArchive::archive(newer->toValue()),
        valid.left(valid.size() / 2), QByteArray("garbage"), QByteArray() };
    for (const QByteArray& bytes : candidates) {
        ASSERT_TRUE(platform::AtomicFileWriter::ensureDirectory(m_data.path()));
        ASSERT_TRUE(platform::AtomicFileWriter::write(m_store->currentSessionFilePath(), bytes));
        EXPECT_EQ(m_store->readCurrentSession(), nullptr);
    }
    // At start-up such a file adds no crashed session and is replaced by the new session's.
    TallyAPI::startSession(QStringLiteral("KEY"));
    TallyAPI::waitForUploads();
    EXPECT_TRUE(m_store->savedSessions().isEmpty());
    EXPECT_TRUE(m_store->readCurrentSession());
}

TEST_F(TallyPersistenceTest, SavedSessionsKeepTheLatestFifty)
{
    TallyAPI::startSession(QStringLiteral("KEY"));
    TallyAPI::waitForUploads();
    QList<qint64> starts;
    for (int i = 0; i < 51; ++i)
        starts << endSessionOffline().toMSecsSinceEpoch();

    const auto saved = m_store->savedSessions();
    ASSERT_EQ(saved.size(), 50);
    QList<qint64> savedStarts;
    for (const QByteArray& record : saved)
        savedStarts << recordStart(record);
    EXPECT_EQ(savedStarts, starts.mid(1)); // oldest dropped, order kept
    EXPECT_EQ(analytics::TallyFileSessionStore::removeOldSessionsIfNecessary({ "a", "b" }, -1).size(), 2);
}

TEST_F(TallyPersistenceTest, AFileUnderTheOlderNameKeepsBeingUsed)
{
    const QString older = m_store->oldSessionsFilePath();
    EXPECT_EQ(QFileInfo(older).fileName(),
        QStringLiteral("tallyStored%1.archive").arg(analytics::TallyFileSessionStore::keyHash("KEY")));
    EXPECT_EQ(QFileInfo(m_store->sessionsFilePath()).fileName(), "." + QFileInfo(older).fileName());
    const QByteArray oldRecord = sessionRecord(1);
    ASSERT_TRUE(platform::AtomicFileWriter::ensureDirectory(m_data.path()));
    ASSERT_TRUE(
        platform::AtomicFileWriter::write(older, platform::KeyedArchive::archive(QCborArray { oldRecord })));
    EXPECT_EQ(m_store->sessionsFilePath(), older);

    TallyAPI::startSession(QStringLiteral("KEY"));
    TallyAPI::waitForUploads();
    endSessionOffline();

    const auto saved = m_store->savedSessions();
    ASSERT_EQ(saved.size(), 2);
    EXPECT_EQ(saved[0], oldRecord);
    EXPECT_TRUE(dataFiles().filter(QStringLiteral(".tallyStored")).isEmpty()); // no dotted twin
}

TEST_F(TallyPersistenceTest, TheInitialTimestampSurvivesUntilItsFileIsDeletedAndFilesAreOwnerOnly)
{
    TallyAPI::startSession(QStringLiteral("KEY"));
    TallyAPI::waitForUploads();
    const qint64 first = analytics::TallySession::currentSession()->startTime().toMSecsSinceEpoch();
    EXPECT_EQ(reportInitialTimestamp(), first);

    endSessionOffline();
    const qint64 second = analytics::TallySession::currentSession()->startTime().toMSecsSinceEpoch();
    ASSERT_NE(second, first);
    EXPECT_EQ(reportInitialTimestamp(), first);

    // Every file the store writes is the owner's alone, and no temporary file remains.
    m_store->setSentSession();
    const QStringList files = dataFiles();
    EXPECT_EQ(files.size(), 4) << files.join(' ').toStdString();
    for (const QString& name : files) {
        struct stat info { };
        ASSERT_EQ(::stat(QFile::encodeName(QDir(m_data.path()).filePath(name)).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << name.toStdString();
        EXPECT_FALSE(name.contains(QStringLiteral(".tmp-"))) << name.toStdString();
    }

    ASSERT_TRUE(QFile::remove(m_store->initialTimestampFilePath()));
    platform::Clock::advance(5000);
    EXPECT_EQ(reportInitialTimestamp(), second);
    EXPECT_EQ(reportInitialTimestamp(), second);
}

// Damage to the saved-sessions file: how much of it is left.
struct SavedFileDamage {
    const char* name;
    double keptFraction; // of the file's bytes, from the start
    qsizetype cutBytes; // then this many more bytes off the end
};

class TallyDamagedSavedFileTest : public TallyPersistenceTest,
                                  public ::testing::WithParamInterface<SavedFileDamage> { };

TEST_P(TallyDamagedSavedFileTest, EveryIntactRecordIsKeptAndTheDamagedFileSetAside)
{
    QList<QByteArray> records;
    for (int i = 0; i < 50; ++i)
        records << sessionRecord(i);
    m_store->setSavedSessions(records);
    const QString path = m_store->sessionsFilePath();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QByteArray whole = file.readAll();
    const qsizetype cut = qsizetype(double(whole.size()) * GetParam().keptFraction) - GetParam().cutBytes;
    ASSERT_TRUE(file.resize(cut));
    file.close();
    const QByteArray damaged = whole.left(cut);
    // A record is intact when all of its bytes are still in the file.
    QList<QByteArray> intact;
    for (const QByteArray& record : records) {
        const qsizetype at = whole.indexOf(record);
        if (at >= 0 && at + record.size() <= cut)
            intact << record;
    }
    ASSERT_FALSE(intact.isEmpty());

    QList<QByteArray> read;
    const QStringList lines = debugLogOf([&] {
        installStore(); // the next process
        read = m_store->savedSessions();
    });

    EXPECT_EQ(read, intact);
    QFile aside(path + QStringLiteral(".damaged"));
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), damaged);
    EXPECT_TRUE(lines.filter(QStringLiteral("damaged")).size() == 1) << lines.join('\n').toStdString();
    // The store goes on from the intact records.
    const QByteArray next = sessionRecord(99);
    m_store->addToSavedSessions(next);
    installStore();
    EXPECT_EQ(m_store->savedSessions(), intact + QList<QByteArray> { next });
}

INSTANTIATE_TEST_SUITE_P(Damage, TallyDamagedSavedFileTest,
    ::testing::Values(
        SavedFileDamage { "LastByteCut", 1.0, 1 }, SavedFileDamage { "OnlyTheFirstRecordLeft", 0.03, 0 }),
    [](const auto& row) { return std::string(row.param.name); });

// A file past the read limit is not read, and not thrown away either.
TEST_F(TallyPersistenceTest, FilesPastTheReadLimitAreSetAsideNotDropped)
{
    const qint64 oversized = 64LL * 1024 * 1024 + 1;
    ASSERT_TRUE(platform::AtomicFileWriter::ensureDirectory(m_data.path()));
    for (const QString& path : { m_store->sessionsFilePath(), m_store->currentSessionFilePath() }) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(oversized)); // sparse: costs no disk
    }
    QDateTime ended;
    const QStringList lines = debugLogOf([&] {
        TallyAPI::startSession(QStringLiteral("KEY"));
        TallyAPI::waitForUploads();
        ended = endSessionOffline();
    });

    for (const QString& path : { m_store->sessionsFilePath(), m_store->currentSessionFilePath() })
        EXPECT_EQ(QFileInfo(path + QStringLiteral(".oversized")).size(), oversized) << path.toStdString();
    EXPECT_EQ(lines.filter(QStringLiteral("read limit")).size(), 2) << lines.join('\n').toStdString();
    const auto saved = m_store->savedSessions();
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(recordStart(saved[0]), ended.toMSecsSinceEpoch());
}

// A session left behind by a killed process is saved as crashed, with its events and errors, at
// the next start; where a stale copy of it lies beside the real one, the newest is taken and the
// stale one dropped. (With no stale copy it is the kill tests' start-up recovery.)
struct StaleCopy {
    const char* name;
    bool underOlderName; // the older name's previous copy, else the dotted name's
};

class TallyLeftSessionTest : public TallyPersistenceTest, public ::testing::WithParamInterface<StaleCopy> { };

TEST_P(TallyLeftSessionTest, IsSavedAsCrashedFromTheNewestCopy)
{
    const StaleCopy& row = GetParam();
    TallySessionState stale = fullState();
    stale.crashed = false;
    TallySessionState real = stale;
    real.startTime = stale.startTime.addSecs(600);
    ASSERT_TRUE(platform::AtomicFileWriter::ensureDirectory(m_data.path()));
    const QString dotted
        = QDir(m_data.path()).filePath(QFileInfo(m_store->currentSessionFilePath()).fileName());
    // The real session was written last, by this build; the stale one by an older build or an
    // earlier write.
    m_store->saveCurrentSession(stale);
    m_store->saveCurrentSession(real);
    if (row.underOlderName) {
        QFile::remove(platform::AtomicFileWriter::previousPath(dotted));
        const QString target = platform::AtomicFileWriter::previousPath(m_store->oldCurrentSessionFilePath());
        ASSERT_TRUE(platform::AtomicFileWriter::write(target, TallySessionArchive::sessionFile(stale)));
    }

    installStore(); // the next process
    const QStringList lines = debugLogOf([] {
        TallyAPI::startSession(QStringLiteral("KEY"));
        TallyAPI::waitForUploads();
    });
    EXPECT_TRUE(lines.contains(QStringLiteral("Tally: Add crashed former session")));
    const auto saved = m_store->savedSessions();
    ASSERT_EQ(saved.size(), 1);
    const auto record = analytics::TallyReportDecoder::decodeSessionRecord(saved[0]);
    ASSERT_TRUE(record.ok());
    EXPECT_EQ(qint64(record.json.value("startTime").toDouble()), real.startTime.toMSecsSinceEpoch());
    EXPECT_EQ(record.json.value("events").toArray().size(), 2);
    EXPECT_EQ(record.json.value("errors").toArray().size(), 1);
    // No stale copy is left to come back after the next kill.
    endSessionOffline();
    EXPECT_EQ(m_store->savedSessions().size(), 2);
    EXPECT_EQ(
        m_store->readCurrentSession()->startTime(), analytics::TallySession::currentSession()->startTime());
}

INSTANTIATE_TEST_SUITE_P(Copies, TallyLeftSessionTest,
    ::testing::Values(StaleCopy { "PreviousCopy", false }, StaleCopy { "OlderNamePreviousCopy", true }),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
