#include <QElapsedTimer>
#include <QFileInfo>

#include "TestHttpServer.h"
#include "analytics/TallyHTTPEater.h"
#include "analytics/TallyHTTPResponse.h"
#include "analytics/TallyUtil.h"
#include "support/AnalyticsFixture.h"

namespace {

using analytics::TallyAPI;
using testing_support::ScriptedAnswer;
using testing_support::TestHttpServer;

class TallyUploadTest : public testing_support::AnalyticsFixture {
protected:
    void SetUp() override
    {
        AnalyticsFixture::SetUp();
        TallyAPI::setServerURL(m_server.url().toString());
    }

    QList<QByteArray> seedSavedSessions(int count)
    {
        QList<QByteArray> records;
        for (int i = 0; i < count; ++i)
            records.append(sessionRecord(i));
        m_store->setSavedSessions(records);
        return records;
    }

    // Starts the layer and waits for its start-of-session upload.
    void startAndWait()
    {
        TallyAPI::startSession(QStringLiteral("KEY"));
        TallyAPI::waitForUploads();
    }

    // Pauses with reports on pause and waits for the pause upload; returns its report.
    QByteArray pauseUpload()
    {
        const auto before = m_server.requests().size();
        TallyAPI::pauseSession();
        TallyAPI::waitForUploads();
        const auto requests = m_server.requests();
        EXPECT_EQ(requests.size(), before + 1);
        return requests.isEmpty() ? QByteArray() : requests.last().body;
    }

    QByteArray savedFile() const
    {
        QFile file(m_store->sessionsFilePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TestHttpServer m_server;
};

// Resident memory of this process, from the kernel's count of resident pages.
qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * 4096;
}

// What the collection server answers the start-of-session upload: taken, refused or endless
// (silence, redirects and other broken answers are the HTTP client's test), and what must come of
// it: the saved records are forgotten only when the report was taken whole, and the next report
// says so.
struct StartAnswer {
    const char* name;
    ScriptedAnswer answer;
    bool delivered;
};

class TallyStartAnswerTest : public TallyUploadTest, public ::testing::WithParamInterface<StartAnswer> { };

TEST_P(TallyStartAnswerTest, ForgetsTheSavedSessionsOnlyWhenTheReportWasTakenWhole)
{
    const StartAnswer& row = GetParam();
    m_server.enqueueAnswer(row.answer);
    m_server.setDefaultAnswer(ScriptedAnswer::status(200));
    const auto saved = seedSavedSessions(3);
    const qint64 residentBefore = residentBytes();
    QElapsedTimer clock;
    clock.start();

    startAndWait();

    EXPECT_LT(clock.elapsed(), kLongTimeout.count() + 4000);
    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 1); // never re-sent behind the uploader's back
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/report.do");
    EXPECT_EQ(requests[0].header("Content-Type"), "application/octet-stream");
    EXPECT_EQ(sessionsOf(requests[0].body).size(), 3); // the saved sessions, not the current one
    EXPECT_EQ(m_store->savedSessions(), row.delivered ? QList<QByteArray>() : saved);
    EXPECT_EQ(m_store->sentSession(), row.delivered);
    // Answers are capped as they arrive, not after the HTTP layer has buffered them.
    EXPECT_LT(residentBytes() - residentBefore, 48LL * 1024 * 1024);

    // The next report (a pause upload with the current session last) tells whether it worked; a
    // pause upload sends everything and changes nothing, even when the server takes it.
    const QByteArray fileBefore = savedFile();
    TallyAPI::setSessionReportsOnPauseEnabled(true);
    const QJsonArray sessions = sessionsOf(pauseUpload());
    ASSERT_EQ(sessions.size(), row.delivered ? 1 : 4);
    EXPECT_EQ(sessions.last().toObject().value(QLatin1String("internetAvailable")).toBool(), row.delivered);
    EXPECT_EQ(m_store->savedSessions(), row.delivered ? QList<QByteArray>() : saved);
    EXPECT_EQ(savedFile(), fileBefore) << "not even rewritten";
}

INSTANTIATE_TEST_SUITE_P(Answers, TallyStartAnswerTest,
    ::testing::Values(StartAnswer { "Status200", ScriptedAnswer::status(200), true },
        StartAnswer { "Status400", ScriptedAnswer::status(400), false },
        StartAnswer { "EndlessChunkedBody", ScriptedAnswer::endless(), false }),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(TallyUploadTest, ARecordSavedDuringAnUploadSurvivesItsSuccess)
{
    m_server.setDefaultAnswer(ScriptedAnswer::held(200));
    seedSavedSessions(2);
    TallyAPI::startSession(QStringLiteral("KEY"));
    ASSERT_TRUE(m_server.waitForRequests(1));

    const QByteArray lateRecord = sessionRecord(99); // a session ends while the upload waits
    m_store->addToSavedSessions(lateRecord);
    m_server.release();
    TallyAPI::waitForUploads();

    EXPECT_EQ(m_store->savedSessions(), QList<QByteArray> { lateRecord });
    EXPECT_TRUE(m_store->sentSession());
}

TEST_F(TallyUploadTest, ASavedAnswerReplacesTheNetwork)
{
    const analytics::TallyHTTPResponse accepted("", 200, {}, {});
    const QString path = accepted.saveToDisk();
    ASSERT_FALSE(path.isEmpty());
    TallyAPI::setSavedResponseURL(QUrl::fromLocalFile(path).toString());
    seedSavedSessions(2);
    startAndWait();
    EXPECT_TRUE(m_server.requests().isEmpty());
    EXPECT_TRUE(m_store->savedSessions().isEmpty());
    EXPECT_TRUE(m_store->sentSession());
}

// A server that accepts connections and never answers: the end of the session must not wait for
// it, and quitting must not either; whatever was on its way is sent by the next start.
TEST_F(TallyUploadTest, ASilentServerHoldsUpNeitherTheEndOfTheSessionNorTheQuit)
{
    // The production time-outs, so that any wait for the server would show.
    analytics::TallyUploader::setInstance(std::make_shared<analytics::TallyNetworkUploader>());
    m_server.setDefaultAnswer(ScriptedAnswer::silence());
    const auto saved = seedSavedSessions(2);
    TallyAPI::startSession(QStringLiteral("KEY")); // the start-of-session upload hangs (20 s)
    ASSERT_TRUE(m_server.waitForRequests(1));
    TallyAPI::logEvent(QStringLiteral("TAKE_PICTURE"));

    QElapsedTimer clock;
    clock.start();
    TallyAPI::endSession(); // the end-of-session upload hangs too (5 s)
    EXPECT_LT(clock.elapsed(), 100) << "the main thread waited for the server";
    ASSERT_TRUE(m_server.waitForRequests(2));

    clock.restart();
    TallyAPI::abortUploads();
    EXPECT_LT(clock.elapsed(), 1000);
    // Nothing was lost: the records that were on their way, and the ended session.
    const auto after = m_store->savedSessions();
    ASSERT_EQ(after.size(), 3);
    EXPECT_EQ(after.mid(0, 2), saved);
    EXPECT_FALSE(m_store->sentSession());
    EXPECT_FALSE(QFileInfo::exists(m_store->currentSessionFilePath())) << "else saved again as crashed";
}

} // namespace
