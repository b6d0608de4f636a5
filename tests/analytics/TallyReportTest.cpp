// The session record and the report: the fixed byte layouts, and a round trip through the decoder.
#include <QJsonArray>
#include <QJsonObject>

#include "AnalyticsFixture.h"
#include "analytics/TallyEvent.h"
#include "analytics/TallyReportDecoder.h"
#include "platform/system/DeviceInfo.h"

namespace analytics::test {
namespace {

class TallyReport : public AnalyticsTest {
protected:
    void TearDown() override
    {
        platform::DeviceInfo::setUserInterfaceIdiom(platform::UserInterfaceIdiom::Phone);
        AnalyticsTest::TearDown();
    }

    static QJsonObject decode(const QByteArray& report)
    {
        const auto result = TallyReportDecoder::decodeReport(report);
        EXPECT_TRUE(result.ok()) << result.error.toStdString();
        return result.json;
    }
};

// One field of the expected report, written down from the layout.
struct Field {
    const char* name;
    QByteArray bytes;
};

QByteArray hex(const char* digits)
{
    return QByteArray::fromHex(digits);
}

// Length-prefixed UTF-8, for the two strings that differ from machine to machine.
QByteArray text(const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    return hex(QByteArray::number(utf8.size(), 16).rightJustified(4, '0').constData()) + utf8;
}

// Compares field by field, so a failure names the first field that differs.
void expectLayout(const QByteArray& actual, const QList<Field>& fields)
{
    qsizetype offset = 0;
    for (const Field& field : fields) {
        const QByteArray got = actual.mid(offset, field.bytes.size());
        ASSERT_EQ(got.toHex(' ').toStdString(), field.bytes.toHex(' ').toStdString())
            << "field " << field.name << " at byte " << offset;
        offset += field.bytes.size();
    }
    EXPECT_EQ(actual.size(), offset) << "bytes after the last field";
}

TEST_F(TallyReport, AWholeReportMatchesTheLayoutByteForByte)
{
    const QDateTime t0 = start; // 000001370fce3000
    TallySessionState a;
    a.serializationVersion = 1;
    a.appVersion = QStringLiteral("2.7");
    a.startTime = t0;
    a.endTime = t0.addMSecs(65432);
    a.totalPauseIntervalMillis = 0x1234;
    a.locale = QStringLiteral("de_AT");
    a.timeZone = QStringLiteral("Europe/Vienna");
    a.internetAvailable = false;
    a.userID = QStringLiteral("u-9");
    a.latitude = -33.868;
    a.longitude = -151.209;
    a.accuracy = 12.5f;
    a.pageViewCount = 3;
    a.gender = 0;
    a.age = QDateTime(QDate(1982, 1, 1), QTime(0, 0), Qt::UTC);
    a.eventCounts = { { QStringLiteral("TAKE_PICTURE"), 2 }, { QStringLiteral("ZOOM"), 1 } };
    TallyEvent picture(QStringLiteral("TAKE_PICTURE"));
    picture.setStarted(t0.addMSecs(1500));
    TallyEvent zoom(
        QStringLiteral("ZOOM"), true, QVariantMap { { QStringLiteral("level"), QStringLiteral("3") } });
    zoom.setStarted(t0.addMSecs(2000));
    zoom.setEnded(t0.addMSecs(2250));
    a.eventLog = { picture, zoom };
    a.eventLogComplete = false;
    a.totalErrorCount = 11;
    a.errors = { { t0.addMSecs(3000), QStringLiteral("Uncaught"), QStringLiteral("Crash!"),
        QStringLiteral("std::runtime_error: boom") } };
    a.apiKey = QStringLiteral("KEY1");

    TallySessionState b; // never ended, male, no age, nothing recorded
    b.serializationVersion = 1;
    b.appVersion = QStringLiteral("1.0");
    b.startTime = t0.addMSecs(60000);
    b.locale = QStringLiteral("en_NZ");
    b.timeZone = QStringLiteral("Pacific/Auckland");
    b.latitude = 0.5;
    b.longitude = -0.25;
    b.gender = 1;

    const auto current = std::make_shared<TallySession>(a);
    TallySession::setCurrentSession(current);
    platform::Clock::setNow(t0.addMSecs(70000));
    const QByteArray report = TallySession::dataForSessions(
        { std::shared_ptr<const TallySession>(current), std::make_shared<const TallySession>(b) }, false);

    expectLayout(report,
        {
            { "report.version", hex("000f") },
            { "report.contentOffers", hex("0000") },
            { "report.cacheTimestamp", hex("0000000000000000") },
            { "report.cachedIds", hex("0000") },
            { "report.deviceFamily", hex("0002") },
            { "report.agentVersion", hex("0030") },
            { "report.buildTime", hex("000001370fcf4170") },
            { "report.apiKey", hex("0004 4b455931") },
            { "report.appVersion", hex("0003 322e37") },
            { "report.deviceIdKind", hex("0000") },
            { "report.phoneID", text(TallySession::phoneID()) },
            { "report.initialTimestamp", hex("000001370fce3000") },
            { "report.sessionStart", hex("000001370fce3000") },
            { "report.propertyCount", hex("0001") },
            { "report.propertyKey", hex("000e 6465766963652e6d6f64656c2e31") }, // "device.model.1"
            { "report.propertyValue", text(TallySession::devicePlatform()) },
            { "report.sessionCount", hex("0002") },

            { "a.serializationVersion", hex("0001") },
            { "a.appVersion", hex("0003 322e37") },
            { "a.startTime", hex("000001370fce3000") },
            { "a.sessionLength", hex("000000000000ff98") },
            { "a.totalPauseIntervalMillis", hex("0000000000001234") },
            { "a.locale", hex("0005 64655f4154") },
            { "a.timeZone", hex("000d 4575726f70652f5669656e6e61") },
            { "a.internetAvailable", hex("00") },
            { "a.userID", hex("0003 752d39") },
            { "a.alwaysOne", hex("01") },
            { "a.latitude", hex("c040ef1a9fbe76c9") },
            { "a.longitude", hex("c062e6b020c49ba6") },
            { "a.accuracy", hex("41480000") },
            { "a.pageViewCount", hex("00000003") },
            { "a.zero1", hex("00") },
            { "a.zero2", hex("00") },
            { "a.gender", hex("00") },
            { "a.age", hex("01 000000582bc12400") },
            { "a.eventCounts", hex("0002 000c 54414b455f50494354555245 00000002 0004 5a4f4f4d 00000001") },
            { "a.eventLogCount", hex("0002") },
            { "a.event1", hex("000c 54414b455f50494354555245 0000 00000000000005dc 0000000000000000") },
            { "a.event2",
                hex("0004 5a4f4f4d 0001 0005 6c6576656c 0001 33 00000000000007d0 00000000000000fa") },
            { "a.eventLogComplete", hex("00") },
            { "a.totalErrorCount", hex("0000000b") },
            { "a.errors",
                hex("0001 000001370fce3bb8 0008 556e636175676874 0006 437261736821"
                    "0018 7374643a3a72756e74696d655f6572726f723a20626f6f6d") },
            { "a.contentLog", hex("0000") },

            { "b.serializationVersion", hex("0001") },
            { "b.appVersion", hex("0003 312e30") },
            { "b.startTime", hex("000001370fcf1a60") },
            { "b.sessionLength", hex("ffffffffffffffff") },
            { "b.totalPauseIntervalMillis", hex("0000000000000000") },
            { "b.locale", hex("0005 656e5f4e5a") },
            { "b.timeZone", hex("0010 506163696669632f4175636b6c616e64") },
            { "b.internetAvailable", hex("01") },
            { "b.userID", hex("0000") },
            { "b.alwaysOne", hex("01") },
            { "b.latitude", hex("3fe0000000000000") },
            { "b.longitude", hex("bfd0000000000000") },
            { "b.accuracy", hex("00000000") },
            { "b.pageViewCount", hex("00000000") },
            { "b.zero1", hex("00") },
            { "b.zero2", hex("00") },
            { "b.gender", hex("01") },
            { "b.age", hex("00") },
            { "b.eventCounts", hex("0000") },
            { "b.eventLogCount", hex("0000") },
            { "b.eventLogComplete", hex("01") },
            { "b.totalErrorCount", hex("00000000") },
            { "b.errors", hex("0000") },
            { "b.contentLog", hex("0000") },
        });
}

TEST_F(TallyReport, TabletReportsFamilyEight)
{
    platform::DeviceInfo::setUserInterfaceIdiom(platform::UserInterfaceIdiom::Tablet);
    EXPECT_EQ(TallySession::dataForSessions({}, false).mid(14, 2), QByteArray::fromHex("0008"));
}

TEST_F(TallyReport, EventOffsetsAreTruncatedTo32BitsAndSignExtended)
{
    TallyEvent event(QStringLiteral("E"), true);
    event.setEnded(event.started().addMSecs(qint64(1) << 32 | 7)); // 2^32 + 7 ms later
    const QByteArray data
        = event.dataRelativeToSessionStart(start.addMSecs(qint64(3) << 31)); // start after event
    EXPECT_EQ(
        data.mid(5, 8), QByteArray::fromHex("ffffffff80000000")); // -(3 * 2^31) in 32 bits, sign-extended
    EXPECT_EQ(data.mid(13, 8), QByteArray::fromHex("0000000000000007"));
}

TEST_F(TallyReport, EverythingTheLayerRecordsDecodesToTheSameFields)
{
    TallyAPI::setUserID(QStringLiteral("user-7"));
    TallyAPI::startSession(QStringLiteral("round-trip"));
    TallyAPI::waitForUploads(); // the start-of-session upload runs on its own thread
    TallyAPI::setLatitude(48.8566123, -2.3522999, 10.0f, 30.0f);
    platform::Clock::advance(1500);
    TallyAPI::logEvent(QStringLiteral("TAKE_PICTURE"));
    TallyAPI::logEvent(QStringLiteral("ZOOM"),
        QVariantMap { { QStringLiteral("level"), 3 }, { QStringLiteral("mode"), QStringLiteral("auto") } },
        true);
    platform::Clock::advance(250);
    TallyAPI::endTimedEvent(QStringLiteral("ZOOM"));
    const std::runtime_error crash("boom");
    TallyAPI::logError(QStringLiteral("Uncaught"), QStringLiteral("Crash!"), &crash);
    TallyAPI::logPageView();
    platform::Clock::advance(4000);
    TallyAPI::endSession(); // reports on close: the end-of-session upload, then saved
    TallyAPI::waitForUploads();

    const auto uploads = uploader->uploads();
    ASSERT_EQ(uploads.size(), 2); // start of session (nothing saved yet), end of session
    EXPECT_EQ(decode(uploads[0].report)[QLatin1String("sessions")].toArray().size(), 0);
    const QJsonObject report = decode(uploads[1].report);
    const QJsonArray sessions = report[QLatin1String("sessions")].toArray();
    ASSERT_EQ(sessions.size(), 1);
    const QJsonObject s = sessions[0].toObject();
    const std::pair<const char*, QJsonValue> fields[] = {
        { "startTime", double(start.toMSecsSinceEpoch()) },
        { "sessionLength", 5750 },
        { "userID", "user-7" },
        { "latitude", 48.856 }, // cut to thousandths
        { "longitude", -2.352 },
        { "accuracy", 20.0 },
        { "pageViewCount", 1 },
        { "eventCounts", QJsonObject { { "TAKE_PICTURE", 1 }, { "ZOOM", 1 } } },
        { "totalErrorCount", 1 },
    };
    for (const auto& [name, value] : fields)
        EXPECT_EQ(s[QLatin1String(name)], value) << name;
    const QJsonArray events = s[QLatin1String("events")].toArray();
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0].toObject()[QLatin1String("startOffset")].toDouble(), 1500);
    EXPECT_EQ(events[0].toObject()[QLatin1String("duration")].toDouble(), 0);
    const QJsonObject zoom = events[1].toObject();
    EXPECT_EQ(zoom[QLatin1String("duration")].toDouble(), 250)
        << "ended by the caller, kept at the session end";
    EXPECT_EQ(
        zoom[QLatin1String("parameters")].toObject(), (QJsonObject { { "level", "3" }, { "mode", "auto" } }));
    const QJsonObject error = s[QLatin1String("errors")].toArray()[0].toObject();
    EXPECT_EQ(error[QLatin1String("exception")].toString(), QStringLiteral("std::runtime_error: boom"));
    EXPECT_EQ(error[QLatin1String("time")].toDouble(), double(start.toMSecsSinceEpoch() + 1750));

    // The saved record is the same bytes and decodes on its own.
    ASSERT_EQ(store->savedSessions().size(), 1);
    const auto saved = TallyReportDecoder::decodeSessionRecord(store->savedSessions().first());
    ASSERT_TRUE(saved.ok()) << saved.error.toStdString();
    EXPECT_EQ(saved.json, s);
}

TEST_F(TallyReport, RecordsAndSessionsMixInListOrderAndEmptyRecordsAreNotCounted)
{
    auto live = std::make_shared<TallySession>(QStringLiteral("k"), QStringLiteral("live"));
    TallySession older(QStringLiteral("k"), QStringLiteral("saved"));
    const QList<TallyReportItem> items { older.data(), QByteArray(),
        std::shared_ptr<const TallySession>(live), std::shared_ptr<const TallySession>() };
    const QJsonArray sessions
        = decode(TallySession::dataForSessions(items, false))[QLatin1String("sessions")].toArray();
    ASSERT_EQ(sessions.size(), 2);
    EXPECT_EQ(sessions[0].toObject()[QLatin1String("appVersion")].toString(), QStringLiteral("saved"));
    EXPECT_EQ(sessions[1].toObject()[QLatin1String("appVersion")].toString(), QStringLiteral("live"));
}

TEST_F(TallyReport, DecoderRejectsGarbageAndEveryTruncation)
{
    TallyAPI::startSession(QStringLiteral("k"));
    TallyAPI::logEvent(QStringLiteral("TAKE_PICTURE"), QVariantMap { { QStringLiteral("a"), 1 } });
    const QByteArray report = TallySession::dataForSessions(TallySession::sessionsToSend(true), false);
    ASSERT_TRUE(TallyReportDecoder::decodeReport(report).ok());
    for (qsizetype size = 0; size < report.size(); ++size) {
        const auto result = TallyReportDecoder::decodeReport(report.left(size));
        ASSERT_FALSE(result.ok()) << "a report cut to " << size << " bytes was accepted";
        EXPECT_FALSE(result.error.contains(QLatin1Char('\n')));
    }
    EXPECT_FALSE(TallyReportDecoder::decodeReport(report + 'x').ok());
    EXPECT_FALSE(TallyReportDecoder::decodeReport(QByteArray("GIF89a garbage")).ok());
    QByteArray badUtf8 = report;
    const qsizetype keyAt = badUtf8.indexOf("k", 26);
    badUtf8[keyAt] = '\xff';
    EXPECT_TRUE(TallyReportDecoder::decodeReport(badUtf8).error.contains(QLatin1String("UTF-8")));
}

} // namespace
} // namespace analytics::test
