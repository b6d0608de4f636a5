#include "analytics/TallyProtocolData.h"

#include <cmath>
#include <functional>
#include <limits>

#include <gtest/gtest.h>

#include "analytics/TallySession.h"

using analytics::TallyProtocolData;

namespace {

// The wire forms the whole-report layout test does not reach: negative numbers, absent timestamps
// and strings, lengths in UTF-8 bytes and the cut at 255 UTF-16 units.
TEST(TallyProtocolData, EachValueIsWrittenInItsWireForm)
{
    using P = TallyProtocolData;
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(1336000000123, Qt::UTC);
    const struct {
        const char* what;
        std::function<void(QByteArray&)> write;
        QByteArray expected;
    } rows[] = {
        { "negative int", [](QByteArray& d) { P::appendInt(-2, d); }, QByteArray::fromHex("fffffffe") },
        { "negative byte", [](QByteArray& d) { P::appendByte(-1, d); }, QByteArray::fromHex("ff") },
        { "absent timestamp", [](QByteArray& d) { P::appendTimestamp(QDateTime(), d); },
            QByteArray(8, '\0') },
        { "null string", [](QByteArray& d) { P::appendString(QString(), d); }, QByteArray::fromHex("0000") },
        { "length in UTF-8 bytes", [](QByteArray& d) { P::appendString(QStringLiteral("é"), d); },
            QByteArray::fromHex("0002c3a9") },
        { "long string", [](QByteArray& d) { P::appendString(QString(300, QLatin1Char('x')), d); },
            QByteArray::fromHex("00ff") + QByteArray(255, 'x') },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        QByteArray data;
        row.write(data);
        EXPECT_EQ(data.toHex(' ').toStdString(), row.expected.toHex(' ').toStdString());
    }
    EXPECT_EQ(TallyProtocolData::timeIntervalFrom(date, date.addMSecs(-10001)), -10001);
    EXPECT_EQ(TallyProtocolData::timeIntervalFrom(QDateTime(), date), 0);
}

TEST(TallyProtocolData, CutNeverSplitsASurrogatePair)
{
    // 254 ASCII units, then an emoji (two UTF-16 units) straddling the 255-unit boundary.
    const QString moon = QString::fromUtf8("\xF0\x9F\x8C\x99");
    const QString text = QString(254, QLatin1Char('a')) + moon + QStringLiteral("tail");
    EXPECT_EQ(TallyProtocolData::limitStringLength(text), QString(254, QLatin1Char('a')));
    QByteArray bytes;
    TallyProtocolData::appendString(text, bytes);
    const QByteArray utf8 = bytes.mid(2);
    EXPECT_EQ(QString::fromUtf8(utf8).toUtf8(), utf8) << "the cut left invalid UTF-8";
    // A pair that fits wholly stays, and so does a string of exactly 255 units.
    EXPECT_EQ(
        TallyProtocolData::limitStringLength(QString(253, QLatin1Char('a')) + moon + "tail").size(), 255);
    EXPECT_EQ(TallyProtocolData::limitStringLength(QString(255, QLatin1Char('y'))).size(), 255);
}

TEST(TallyProtocolData, LocationIsTruncatedTowardZeroToThousandths)
{
    using analytics::TallySession;
    // Values that do not fit the 32-bit intermediate are clamped, never undefined.
    const std::pair<double, double> rows[]
        = { { 12.34567, 12.345 }, { -12.34567, -12.345 }, { 0.0009, 0.0 }, { 1e12, 2147483.647 },
              { -std::numeric_limits<double>::infinity(), -2147483.648 }, { std::nan(""), 0.0 } };
    for (const auto& [given, kept] : rows)
        EXPECT_DOUBLE_EQ(TallySession::reduceLocationPrecision(given), kept) << given;
}

} // namespace
