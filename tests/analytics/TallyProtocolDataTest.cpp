#include "analytics/TallyProtocolData.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "analytics/TallySession.h"

using analytics::TallyProtocolData;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

template <typename Writer> QByteArray written(Writer writer)
{
    QByteArray data;
    writer(data);
    return data;
}

TEST(TallyProtocolData, NumbersAreBigEndianTwosComplementAndIeee)
{
    EXPECT_EQ(written([](QByteArray& d) { TallyProtocolData::appendUshort(0x1234, d); }), hex("1234"));
    EXPECT_EQ(written([](QByteArray& d) { TallyProtocolData::appendInt(-2, d); }), hex("fffffffe"));
    EXPECT_EQ(
        written([](QByteArray& d) { TallyProtocolData::appendLong(1500, d); }), hex("00000000000005dc"));
    EXPECT_EQ(written([](QByteArray& d) { TallyProtocolData::appendLong(-1, d); }), hex("ffffffffffffffff"));
    EXPECT_EQ(written([](QByteArray& d) { TallyProtocolData::appendByte(-1, d); }), hex("ff"));
    EXPECT_EQ(written([](QByteArray& d) { TallyProtocolData::appendBoolean(true, d); }), hex("01"));
    EXPECT_EQ(written([](QByteArray& d) { TallyProtocolData::appendFloat(1.0f, d); }), hex("3f800000"));
    EXPECT_EQ(
        written([](QByteArray& d) { TallyProtocolData::appendDouble(-2.5, d); }), hex("c004000000000000"));
}

TEST(TallyProtocolData, TimestampsAreMillisecondsAndAbsentIsZero)
{
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(1336000000123, Qt::UTC);
    EXPECT_EQ(written([&](QByteArray& d) { TallyProtocolData::appendTimestamp(date, d); }),
        hex("000001370fce307b"));
    EXPECT_EQ(written([](QByteArray& d) { TallyProtocolData::appendTimestamp(QDateTime(), d); }),
        QByteArray(8, '\0'));
    EXPECT_EQ(TallyProtocolData::timeIntervalFrom(date, date.addMSecs(-10001)), -10001);
    EXPECT_EQ(TallyProtocolData::timeIntervalFrom(QDateTime(), date), 0);
}

TEST(TallyProtocolData, StringsAreUtf8WithByteLength)
{
    EXPECT_EQ(written([](QByteArray& d) { TallyProtocolData::appendString(QString(), d); }), hex("0000"));
    EXPECT_EQ(
        written([](QByteArray& d) { TallyProtocolData::appendString(QStringLiteral(""), d); }), hex("0000"));
    EXPECT_EQ(written([](QByteArray& d) { TallyProtocolData::appendString(QStringLiteral("abc"), d); }),
        hex("0003616263"));
    // Length counts UTF-8 bytes, not characters.
    EXPECT_EQ(written([](QByteArray& d) { TallyProtocolData::appendString(QStringLiteral("é"), d); }),
        hex("0002c3a9"));
}

TEST(TallyProtocolData, LongStringsAreCutAt255Units)
{
    const QString ascii300(300, QLatin1Char('x'));
    const QByteArray bytes = written([&](QByteArray& d) { TallyProtocolData::appendString(ascii300, d); });
    ASSERT_EQ(bytes.size(), 2 + 255);
    EXPECT_EQ(bytes.left(2), hex("00ff"));
    EXPECT_EQ(bytes.mid(2), QByteArray(255, 'x'));

    const QString exactly255(255, QLatin1Char('y'));
    EXPECT_EQ(TallyProtocolData::limitStringLength(exactly255), exactly255);
}

TEST(TallyProtocolData, CutNeverSplitsASurrogatePair)
{
    // 254 ASCII units, then an emoji (two UTF-16 units) straddling the 255-unit boundary.
    const QString text
        = QString(254, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x8C\x99") + QStringLiteral("tail");
    const QString cut = TallyProtocolData::limitStringLength(text);
    EXPECT_EQ(cut, QString(254, QLatin1Char('a')));

    const QByteArray bytes = written([&](QByteArray& d) { TallyProtocolData::appendString(text, d); });
    const QByteArray utf8 = bytes.mid(2);
    EXPECT_EQ(QString::fromUtf8(utf8).toUtf8(), utf8) << "the cut left invalid UTF-8";

    // A pair that fits wholly stays.
    const QString fits
        = QString(253, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x8C\x99") + QStringLiteral("tail");
    EXPECT_EQ(TallyProtocolData::limitStringLength(fits).size(), 255);
}

TEST(TallyProtocolData, LocationIsTruncatedTowardZeroToThousandths)
{
    using analytics::TallySession;
    EXPECT_DOUBLE_EQ(TallySession::reduceLocationPrecision(12.34567), 12.345);
    EXPECT_DOUBLE_EQ(TallySession::reduceLocationPrecision(-12.34567), -12.345);
    EXPECT_DOUBLE_EQ(TallySession::reduceLocationPrecision(0.0009), 0.0);
    // Values that do not fit the 32-bit intermediate are clamped, never undefined.
    EXPECT_DOUBLE_EQ(TallySession::reduceLocationPrecision(1e12), 2147483.647);
    EXPECT_DOUBLE_EQ(
        TallySession::reduceLocationPrecision(-std::numeric_limits<double>::infinity()), -2147483.648);
    EXPECT_DOUBLE_EQ(TallySession::reduceLocationPrecision(std::nan("")), 0.0);
}

} // namespace
