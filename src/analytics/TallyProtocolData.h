#pragma once

// The primitive writers of the analytics report: every multi-byte number big-endian, strings as
// a 16-bit UTF-8 byte count followed by the bytes, dates as 64-bit milliseconds since
// 1970-01-01 00:00 UTC (an absent date, i.e. a null QDateTime, is 0). Each writer appends to the
// buffer given last. Pure functions; any thread.

#include <cstdint>

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace analytics {

class TallyProtocolData {
public:
    TallyProtocolData() = delete;

    // Strings longer than this many UTF-16 units are cut.
    static constexpr int maxStringLength = 255;

    static void appendBoolean(bool value, QByteArray& data);
    static void appendByte(std::int8_t value, QByteArray& data);
    static void appendUshort(std::uint16_t value, QByteArray& data);
    static void appendInt(std::int32_t value, QByteArray& data);
    static void appendLong(std::int64_t value, QByteArray& data);
    static void appendFloat(float value, QByteArray& data);
    static void appendDouble(double value, QByteArray& data);
    static void appendTimestamp(const QDateTime& date, QByteArray& data);
    // A null QString is written like the empty string, as 00 00.
    static void appendString(const QString& string, QByteArray& data);
    // A 16-bit length then the bytes; at most 65535 bytes are written.
    static void appendShortData(const QByteArray& bytes, QByteArray& data);

    // The first 255 UTF-16 units of a longer string, one fewer when the cut would fall between
    // the two halves of a surrogate pair (half a pair is not valid UTF-8).
    static QString limitStringLength(const QString& string);

    // Milliseconds from `from` to `to`, truncated toward zero; 0 when either date is absent.
    static std::int64_t timeIntervalFrom(const QDateTime& from, const QDateTime& to);
    static std::int64_t timestampMillis(const QDateTime& date);
};

} // namespace analytics
