#include "analytics/TallyProtocolData.h"

#include <bit>

namespace analytics {

namespace {

template <typename Unsigned> void appendBigEndian(Unsigned value, QByteArray& data)
{
    for (int shift = static_cast<int>(sizeof(Unsigned) * 8) - 8; shift >= 0; shift -= 8)
        data.append(static_cast<char>((value >> shift) & 0xFF));
}

} // namespace

void TallyProtocolData::appendBoolean(bool value, QByteArray& data)
{
    data.append(static_cast<char>(value ? 1 : 0));
}

void TallyProtocolData::appendByte(std::int8_t value, QByteArray& data)
{
    data.append(static_cast<char>(value));
}

void TallyProtocolData::appendUshort(std::uint16_t value, QByteArray& data)
{
    appendBigEndian(value, data);
}

void TallyProtocolData::appendInt(std::int32_t value, QByteArray& data)
{
    appendBigEndian(static_cast<std::uint32_t>(value), data);
}

void TallyProtocolData::appendLong(std::int64_t value, QByteArray& data)
{
    appendBigEndian(static_cast<std::uint64_t>(value), data);
}

void TallyProtocolData::appendFloat(float value, QByteArray& data)
{
    appendBigEndian(std::bit_cast<std::uint32_t>(value), data);
}

void TallyProtocolData::appendDouble(double value, QByteArray& data)
{
    appendBigEndian(std::bit_cast<std::uint64_t>(value), data);
}

void TallyProtocolData::appendTimestamp(const QDateTime& date, QByteArray& data)
{
    appendLong(timestampMillis(date), data);
}

void TallyProtocolData::appendString(const QString& string, QByteArray& data)
{
    // 255 UTF-16 units encode to at most 765 UTF-8 bytes, so the length always fits.
    const QByteArray utf8 = limitStringLength(string).toUtf8();
    appendUshort(static_cast<std::uint16_t>(utf8.size()), data);
    data.append(utf8);
}

void TallyProtocolData::appendShortData(const QByteArray& bytes, QByteArray& data)
{
    const QByteArray written = bytes.left(0xFFFF);
    appendUshort(static_cast<std::uint16_t>(written.size()), data);
    data.append(written);
}

QString TallyProtocolData::limitStringLength(const QString& string)
{
    if (string.size() <= maxStringLength)
        return string;
    qsizetype cut = maxStringLength;
    if (string.at(cut - 1).isHighSurrogate() && string.at(cut).isLowSurrogate())
        --cut;
    return string.left(cut);
}

std::int64_t TallyProtocolData::timeIntervalFrom(const QDateTime& from, const QDateTime& to)
{
    if (!from.isValid() || !to.isValid())
        return 0;
    return from.msecsTo(to);
}

std::int64_t TallyProtocolData::timestampMillis(const QDateTime& date)
{
    return date.isValid() ? date.toMSecsSinceEpoch() : 0;
}

} // namespace analytics
