// The session record and the report: the fixed byte layouts, and a round trip through the decoder.
#include <QJsonArray>
#include <QJsonObject>

#include "analytics/TallyEvent.h"
#include "analytics/TallyReportDecoder.h"
#include "platform/system/DeviceInfo.h"
#include "support/AnalyticsFixture.h"

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

// Compares part by part, so a failure names the first part that differs.
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
            { "report.head",
                hex("000f00000000000000000000000000020030000001370fcf417000044b4559310003322e370000") },
            { "report.phoneID", text(TallySession::phoneID()) },
            { "report.timesAndProperty",
                hex("000001370fce3000000001370fce30000001000e6465766963652e6d6f64656c2e31") },
            { "report.propertyValue", text(TallySession::devicePlatform()) },
            { "report.sessionCount", hex("0002") },
            { "a",
                hex("00010003322e37000001370fce3000000000000000ff980000000000001234000564655f4154000d4575726f"
                    "70652f5669656e6e61000003752d3901c040ef1a9fbe76c9c062e6b020c49ba6414800000000000300000001"
                    "000000582bc124000002000c54414b455f504943545552450000000200045a4f4f4d000000010002000c5441"
                    "4b455f50494354555245000000000000000005dc000000000000000000045a4f4f4d000100056c6576656c00"
                    "013300000000000007d000000000000000fa000000000b0001000001370fce3bb80008556e63617567687400"
                    "0643726173682100187374643a3a72756e74696d655f6572726f723a20626f6f6d0000") },
            { "b",
                hex("00010003312e30000001370fcf1a60ffffffffffffffff00000000000000000005656e5f4e5a001050616369"
                    "6669632f4175636b6c616e64010000013fe0000000000000bfd0000000000000000000000000000000000100"
                    "00000000010000000000000000") },
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
