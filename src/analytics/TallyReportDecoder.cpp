#include "analytics/TallyReportDecoder.h"

#include <bit>
#include <cstdint>
#include <stdexcept>

#include <QJsonArray>
#include <QStringDecoder>

namespace analytics {

namespace {

// A bounds-checked big-endian reader. Failures throw DecodeError, caught at the entry points.
class DecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Reader {
public:
    explicit Reader(const QByteArray& bytes)
        : m_bytes(bytes)
    {
    }

    qsizetype offset() const { return m_offset; }
    qsizetype remaining() const { return m_bytes.size() - m_offset; }

    std::uint64_t readUnsigned(int size, const char* what)
    {
        need(size, what);
        std::uint64_t value = 0;
        for (int i = 0; i < size; ++i)
            value = (value << 8) | static_cast<std::uint8_t>(m_bytes.at(m_offset + i));
        m_offset += size;
        return value;
    }

    std::uint8_t u8(const char* what) { return static_cast<std::uint8_t>(readUnsigned(1, what)); }
    std::uint16_t u16(const char* what) { return static_cast<std::uint16_t>(readUnsigned(2, what)); }
    std::int32_t i32(const char* what) { return static_cast<std::int32_t>(readUnsigned(4, what)); }
    std::int64_t i64(const char* what) { return static_cast<std::int64_t>(readUnsigned(8, what)); }
    float f32(const char* what)
    {
        return std::bit_cast<float>(static_cast<std::uint32_t>(readUnsigned(4, what)));
    }
    double f64(const char* what) { return std::bit_cast<double>(readUnsigned(8, what)); }

    bool boolean(const char* what)
    {
        const qsizetype at = m_offset;
        const std::uint8_t value = u8(what);
        if (value > 1)
            fail(QStringLiteral("invalid flag %1 for %2 at byte %3")
                     .arg(value)
                     .arg(QLatin1String(what))
                     .arg(at));
        return value == 1;
    }

    QByteArray bytes(qsizetype size, const char* what)
    {
        need(size, what);
        QByteArray result = m_bytes.mid(m_offset, size);
        m_offset += size;
        return result;
    }

    QString string(const char* what)
    {
        const std::uint16_t length = u16(what);
        const qsizetype at = m_offset;
        const QByteArray utf8 = bytes(length, what);
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = decoder.decode(utf8);
        if (decoder.hasError())
            fail(QStringLiteral("invalid UTF-8 in %1 at byte %2").arg(QLatin1String(what)).arg(at));
        return text;
    }

    [[noreturn]] static void fail(const QString& message) { throw DecodeError(message.toStdString()); }

private:
    void need(qsizetype size, const char* what) const
    {
        if (size > remaining())
            fail(QStringLiteral("truncated: %1 needs %2 bytes at byte %3, %4 left")
                     .arg(QLatin1String(what))
                     .arg(size)
                     .arg(m_offset)
                     .arg(remaining()));
    }

    const QByteArray& m_bytes;
    qsizetype m_offset { 0 };
};

constexpr std::uint16_t reportFormatVersion = 15;

QJsonObject readEvent(Reader& reader)
{
    QJsonObject event;
    event[QLatin1String("name")] = reader.string("event name");
    const std::uint16_t parameterCount = reader.u16("parameter count");
    QJsonObject parameters;
    for (std::uint16_t i = 0; i < parameterCount; ++i) {
        const QString key = reader.string("parameter key");
        parameters[key] = reader.string("parameter value");
    }
    event[QLatin1String("parameters")] = parameters;
    event[QLatin1String("startOffset")] = double(reader.i64("event start offset"));
    event[QLatin1String("duration")] = double(reader.i64("event duration"));
    return event;
}

QJsonObject readSession(Reader& reader)
{
    QJsonObject session;
    session[QLatin1String("serializationVersion")] = reader.u16("serialization version");
    session[QLatin1String("appVersion")] = reader.string("session app version");
    session[QLatin1String("startTime")] = double(reader.i64("session start time"));
    session[QLatin1String("sessionLength")] = double(reader.i64("session length"));
    session[QLatin1String("totalPauseIntervalMillis")] = double(reader.i64("pause interval"));
    session[QLatin1String("locale")] = reader.string("locale");
    session[QLatin1String("timeZone")] = reader.string("time zone");
    session[QLatin1String("internetAvailable")] = reader.boolean("internet available");
    session[QLatin1String("userID")] = reader.string("user id");
    if (!reader.boolean("location flag"))
        Reader::fail(
            QStringLiteral("session record without its location fields at byte %1").arg(reader.offset() - 1));
    session[QLatin1String("latitude")] = reader.f64("latitude");
    session[QLatin1String("longitude")] = reader.f64("longitude");
    session[QLatin1String("accuracy")] = double(reader.f32("accuracy"));
    session[QLatin1String("pageViewCount")] = reader.i32("page view count");
    reader.u8("reserved byte");
    reader.u8("reserved byte");
    session[QLatin1String("gender")] = static_cast<std::int8_t>(reader.u8("gender"));
    if (reader.boolean("age flag"))
        session[QLatin1String("age")] = double(reader.i64("age"));
    else
        session[QLatin1String("age")] = QJsonValue::Null;

    QJsonObject eventCounts;
    const std::uint16_t nameCount = reader.u16("event count entries");
    for (std::uint16_t i = 0; i < nameCount; ++i) {
        const QString name = reader.string("event count name");
        eventCounts[name] = reader.i32("event count");
    }
    session[QLatin1String("eventCounts")] = eventCounts;

    QJsonArray events;
    const std::uint16_t eventCount = reader.u16("event log entries");
    for (std::uint16_t i = 0; i < eventCount; ++i)
        events.append(readEvent(reader));
    session[QLatin1String("events")] = events;
    session[QLatin1String("eventLogComplete")] = reader.boolean("event log complete");
    session[QLatin1String("totalErrorCount")] = reader.i32("total error count");

    QJsonArray errors;
    const std::uint16_t errorCount = reader.u16("error entries");
    for (std::uint16_t i = 0; i < errorCount; ++i) {
        QJsonObject error;
        error[QLatin1String("time")] = double(reader.i64("error time"));
        error[QLatin1String("errorId")] = reader.string("error id");
        error[QLatin1String("message")] = reader.string("error message");
        error[QLatin1String("exception")] = reader.string("exception text");
        errors.append(error);
    }
    session[QLatin1String("errors")] = errors;
    const qsizetype adLogAt = reader.offset();
    if (const std::uint16_t adCount = reader.u16("content offer entries"); adCount != 0)
        Reader::fail(
            QStringLiteral("unsupported content offer entries (%1) at byte %2").arg(adCount).arg(adLogAt));
    return session;
}

template <typename Body>
TallyReportDecoder::Result decodeWhole(const QByteArray& bytes, const char* kind, Body body)
{
    TallyReportDecoder::Result result;
    try {
        Reader reader(bytes);
        result.json = body(reader);
        if (reader.remaining() > 0)
            Reader::fail(QStringLiteral("%1 unexpected bytes after the end of the %2 at byte %3")
                             .arg(reader.remaining())
                             .arg(QLatin1String(kind))
                             .arg(reader.offset()));
    } catch (const DecodeError& error) {
        result.json = QJsonObject();
        result.error = QStringLiteral("not a valid %1: %2")
                           .arg(QLatin1String(kind), QString::fromStdString(error.what()));
    }
    return result;
}

} // namespace

TallyReportDecoder::Result TallyReportDecoder::decodeReport(const QByteArray& bytes)
{
    return decodeWhole(bytes, "report", [](Reader& reader) {
        QJsonObject report;
        const std::uint16_t version = reader.u16("format version");
        if (version != reportFormatVersion)
            Reader::fail(QStringLiteral("unsupported format version %1 (expected %2)")
                             .arg(version)
                             .arg(reportFormatVersion));
        report[QLatin1String("formatVersion")] = version;
        report[QLatin1String("requestAds")] = reader.u16("content offer request");
        report[QLatin1String("contentCacheTimestamp")] = double(reader.i64("content cache timestamp"));
        QJsonArray cachedIds;
        const std::uint16_t cachedCount = reader.u16("cached content ids");
        for (std::uint16_t i = 0; i < cachedCount; ++i) {
            reader.u8("cached content marker");
            cachedIds.append(double(reader.i64("cached content id")));
        }
        report[QLatin1String("cachedContentIds")] = cachedIds;
        report[QLatin1String("deviceFamily")] = reader.u16("device family");
        report[QLatin1String("agentVersion")] = reader.u16("agent version");
        report[QLatin1String("reportTime")] = double(reader.i64("report time"));
        report[QLatin1String("apiKey")] = reader.string("api key");
        report[QLatin1String("appVersion")] = reader.string("app version");
        const qsizetype idAt = reader.offset();
        switch (const std::uint16_t idType = reader.u16("device id type")) {
        case 0:
            report[QLatin1String("phoneID")] = reader.string("phone id");
            break;
        case 1: {
            const std::uint16_t length = reader.u16("tally id");
            report[QLatin1String("tallyID")] = QString::fromLatin1(reader.bytes(length, "tally id").toHex());
            break;
        }
        default:
            Reader::fail(QStringLiteral("unknown device id type %1 at byte %2").arg(idType).arg(idAt));
        }
        report[QLatin1String("initialTimestamp")] = double(reader.i64("initial timestamp"));
        report[QLatin1String("sessionStartTime")] = double(reader.i64("session start time"));
        QJsonObject properties;
        const std::uint16_t propertyCount = reader.u16("device property count");
        for (std::uint16_t i = 0; i < propertyCount; ++i) {
            const QString key = reader.string("device property key");
            properties[key] = reader.string("device property value");
        }
        report[QLatin1String("deviceProperties")] = properties;
        QJsonArray sessions;
        const std::uint16_t sessionCount = reader.u16("session count");
        for (std::uint16_t i = 0; i < sessionCount; ++i)
            sessions.append(readSession(reader));
        report[QLatin1String("sessions")] = sessions;
        return report;
    });
}

TallyReportDecoder::Result TallyReportDecoder::decodeSessionRecord(const QByteArray& bytes)
{
    return decodeWhole(bytes, "session record", [](Reader& reader) { return readSession(reader); });
}

} // namespace analytics
