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

TEST_F(TallyReport, PhoneReportBeginsWithTheFixedPrefix)
{
    const QByteArray report = TallySession::dataForSessions({}, false);
    EXPECT_EQ(report.left(18), QByteArray::fromHex("000f" "0000" "0000000000000000" "0000" "0002" "0030"));
    EXPECT_EQ(report.mid(18, 8), QByteArray::fromHex("000001370fce3000")); // the frozen build time
    EXPECT_EQ(report.right(2), QByteArray::fromHex("0000")) << "no sessions: the count ends the report";
}

TEST_F(TallyReport, TabletReportsFamilyEight)
{
    platform::DeviceInfo::setUserInterfaceIdiom(platform::UserInterfaceIdiom::Tablet);
    EXPECT_EQ(TallySession::dataForSessions({}, false).mid(14, 2), QByteArray::fromHex("0008"));
}

TEST_F(TallyReport, HeaderCarriesTheCurrentSessionAndAnUnlinkablePhoneId)
{
    TallyAPI::setAppVersion(QStringLiteral("2.1"));
    TallyAPI::startSession(QStringLiteral("KEY 123"));
    const QJsonObject json = decode(TallySession::dataForSessions({}, false));
    EXPECT_EQ(json[QLatin1String("apiKey")].toString(), QStringLiteral("KEY123"));
    EXPECT_EQ(json[QLatin1String("appVersion")].toString(), QStringLiteral("2.1"));
    EXPECT_EQ(json[QLatin1String("sessionStartTime")].toDouble(), double(start.toMSecsSinceEpoch()));
    EXPECT_EQ(json[QLatin1String("initialTimestamp")].toDouble(), double(start.toMSecsSinceEpoch()));
    const QString phoneId = json[QLatin1String("phoneID")].toString();
    EXPECT_TRUE(phoneId.startsWith(QLatin1String("IPHONE")));
    EXPECT_EQ(phoneId.size(), 6 + 40);
    const QString machineId = QString::fromLatin1(QSysInfo::machineUniqueId());
    if (!machineId.isEmpty()) {
        EXPECT_FALSE(phoneId.contains(machineId, Qt::CaseInsensitive));
    }
    EXPECT_EQ(TallySession::tallyID(), TallySession::hashData(phoneId.toUtf8()));
    EXPECT_EQ(json[QLatin1String("deviceProperties")].toObject()[QLatin1String("device.model.1")].toString(),
              TallySession::devicePlatform());
    EXPECT_FALSE(TallySession::devicePlatform().isEmpty());
}

TEST_F(TallyReport, EventRecordOfAnUntimedEvent)
{
    const TallyEvent event(QStringLiteral("TAKE_PICTURE"));
    const QByteArray expected = QByteArray::fromHex("000c") + QByteArray("TAKE_PICTURE") + QByteArray::fromHex("0000")
        + QByteArray::fromHex("00000000000005dc") + QByteArray(8, '\0');
    EXPECT_EQ(event.dataRelativeToSessionStart(start.addMSecs(-1500)), expected);
}

TEST_F(TallyReport, EventOffsetsAreTruncatedTo32BitsAndSignExtended)
{
    TallyEvent event(QStringLiteral("E"), true);
    event.setEnded(event.started().addMSecs(qint64(1) << 32 | 7)); // 2^32 + 7 ms later
    const QByteArray data = event.dataRelativeToSessionStart(start.addMSecs(qint64(3) << 31)); // start after event
    EXPECT_EQ(data.mid(5, 8), QByteArray::fromHex("ffffffff80000000")); // -(3 * 2^31) in 32 bits, sign-extended
    EXPECT_EQ(data.mid(13, 8), QByteArray::fromHex("0000000000000007"));
}

TEST_F(TallyReport, NeverEndedSessionHasLengthMinusOne)
{
    TallySession session(QStringLiteral("k"), QStringLiteral("1"));
    const QByteArray record = session.data();
    // u16 version, str "1", ts start, then the length.
    EXPECT_EQ(record.mid(2 + 3 + 8, 8), QByteArray(8, '\xff'));
    session.endSessionAndSend(false, false);
    EXPECT_EQ(session.data().mid(13, 8), QByteArray(8, '\0')) << "ended at the frozen start instant";
}

TEST_F(TallyReport, EverythingTheLayerRecordsDecodesToTheSameFields)
{
    TallyAPI::setUserID(QStringLiteral("user-7"));
    TallyAPI::setGender(QStringLiteral("f"));
    TallyAPI::setAge(30);
    TallyAPI::startSession(QStringLiteral("round-trip"));
    TallyAPI::waitForUploads(); // the start-of-session upload runs on its own thread
    TallyAPI::setLatitude(48.8566123, -2.3522999, 10.0f, 30.0f);
    platform::Clock::advance(1500);
    TallyAPI::logEvent(QStringLiteral("TAKE_PICTURE"));
    TallyAPI::logEvent(QStringLiteral("ZOOM"), QVariantMap { { QStringLiteral("level"), 3 }, { QStringLiteral("mode"), QStringLiteral("auto") } }, true);
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
    EXPECT_EQ(s[QLatin1String("serializationVersion")].toInt(), 1);
    EXPECT_EQ(s[QLatin1String("startTime")].toDouble(), double(start.toMSecsSinceEpoch()));
    EXPECT_EQ(s[QLatin1String("sessionLength")].toDouble(), 5750);
    EXPECT_EQ(s[QLatin1String("totalPauseIntervalMillis")].toDouble(), 0);
    EXPECT_EQ(s[QLatin1String("userID")].toString(), QStringLiteral("user-7"));
    EXPECT_EQ(s[QLatin1String("gender")].toInt(), 0);
    EXPECT_EQ(s[QLatin1String("latitude")].toDouble(), 48.856);
    EXPECT_EQ(s[QLatin1String("longitude")].toDouble(), -2.352);
    EXPECT_EQ(s[QLatin1String("accuracy")].toDouble(), 20.0);
    EXPECT_EQ(s[QLatin1String("pageViewCount")].toInt(), 1);
    EXPECT_TRUE(s[QLatin1String("internetAvailable")].toBool());
    EXPECT_EQ(s[QLatin1String("locale")].toString(), platform::DeviceInfo::localeIdentifier());
    EXPECT_EQ(s[QLatin1String("timeZone")].toString(), platform::DeviceInfo::timeZoneName());
    EXPECT_EQ(s[QLatin1String("age")].toDouble(),
              double(QDateTime(QDate(1982, 1, 1), QTime(0, 0), Qt::LocalTime).toMSecsSinceEpoch()));
    const QJsonObject counts = s[QLatin1String("eventCounts")].toObject();
    EXPECT_EQ(counts[QLatin1String("TAKE_PICTURE")].toInt(), 1);
    EXPECT_EQ(counts[QLatin1String("ZOOM")].toInt(), 1);
    const QJsonArray events = s[QLatin1String("events")].toArray();
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0].toObject()[QLatin1String("startOffset")].toDouble(), 1500);
    EXPECT_EQ(events[0].toObject()[QLatin1String("duration")].toDouble(), 0);
    const QJsonObject zoom = events[1].toObject();
    EXPECT_EQ(zoom[QLatin1String("duration")].toDouble(), 250) << "ended by the caller, kept at the session end";
    EXPECT_EQ(zoom[QLatin1String("parameters")].toObject()[QLatin1String("level")].toString(), QStringLiteral("3"));
    EXPECT_EQ(zoom[QLatin1String("parameters")].toObject()[QLatin1String("mode")].toString(), QStringLiteral("auto"));
    EXPECT_TRUE(s[QLatin1String("eventLogComplete")].toBool());
    EXPECT_EQ(s[QLatin1String("totalErrorCount")].toInt(), 1);
    const QJsonObject error = s[QLatin1String("errors")].toArray()[0].toObject();
    EXPECT_EQ(error[QLatin1String("errorId")].toString(), QStringLiteral("Uncaught"));
    EXPECT_EQ(error[QLatin1String("message")].toString(), QStringLiteral("Crash!"));
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
    const QList<TallyReportItem> items { older.data(), QByteArray(), std::shared_ptr<const TallySession>(live),
                                         std::shared_ptr<const TallySession>() };
    const QJsonArray sessions = decode(TallySession::dataForSessions(items, false))[QLatin1String("sessions")].toArray();
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
