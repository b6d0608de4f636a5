#include "platform/system/KeyedArchive.h"

#include <limits>

#include <QCborStreamReader>
#include <QTimeZone>

#include "platform/system/KeyedArchiveWriter.h"

namespace platform {

std::optional<KeyedArchive> KeyedArchive::fromValue(const QCborValue& value)
{
    if (!value.isMap())
        return std::nullopt;
    return KeyedArchive(value.toMap());
}

void KeyedArchive::encodeInt32(const QString& key, qint32 value)
{
    m_map.insert(key, qint64(value));
}
void KeyedArchive::encodeInt64(const QString& key, qint64 value)
{
    m_map.insert(key, value);
}
void KeyedArchive::encodeDouble(const QString& key, double value)
{
    m_map.insert(key, value);
}
void KeyedArchive::encodeFloat(const QString& key, float value)
{
    m_map.insert(key, double(value));
}
void KeyedArchive::encodeBool(const QString& key, bool value)
{
    m_map.insert(key, value);
}
void KeyedArchive::encodeString(const QString& key, const QString& value)
{
    m_map.insert(key, value);
}
void KeyedArchive::encodeDate(const QString& key, const QDateTime& value)
{
    m_map.insert(key, dateValue(value));
}
void KeyedArchive::encodeMap(const QString& key, const QCborMap& value)
{
    m_map.insert(key, value);
}
void KeyedArchive::encodeList(const QString& key, const QCborArray& value)
{
    m_map.insert(key, value);
}
void KeyedArchive::encodeBytes(const QString& key, const QByteArray& value)
{
    m_map.insert(key, value);
}
void KeyedArchive::encodeObject(const QString& key, const KeyedArchive& value)
{
    m_map.insert(key, value.m_map);
}

std::optional<qint64> KeyedArchive::decodeInt64(const QString& key) const
{
    const QCborValue value = m_map.value(key);
    if (!value.isInteger())
        return std::nullopt;
    return value.toInteger();
}

std::optional<qint32> KeyedArchive::decodeInt32(const QString& key) const
{
    const auto value = decodeInt64(key);
    if (!value || *value < std::numeric_limits<qint32>::min() || *value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(*value);
}

std::optional<double> KeyedArchive::decodeDouble(const QString& key) const
{
    const QCborValue value = m_map.value(key);
    if (!value.isDouble())
        return std::nullopt;
    return value.toDouble();
}

std::optional<float> KeyedArchive::decodeFloat(const QString& key) const
{
    const auto value = decodeDouble(key);
    if (!value)
        return std::nullopt;
    return static_cast<float>(*value);
}

std::optional<bool> KeyedArchive::decodeBool(const QString& key) const
{
    const QCborValue value = m_map.value(key);
    if (!value.isBool())
        return std::nullopt;
    return value.toBool();
}

std::optional<QString> KeyedArchive::decodeString(const QString& key) const
{
    const QCborValue value = m_map.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<QDateTime> KeyedArchive::decodeDate(const QString& key) const
{
    return toDate(m_map.value(key));
}

std::optional<QCborMap> KeyedArchive::decodeMap(const QString& key) const
{
    const QCborValue value = m_map.value(key);
    if (!value.isMap())
        return std::nullopt;
    return value.toMap();
}

std::optional<QCborArray> KeyedArchive::decodeList(const QString& key) const
{
    const QCborValue value = m_map.value(key);
    if (!value.isArray())
        return std::nullopt;
    return value.toArray();
}

std::optional<QByteArray> KeyedArchive::decodeBytes(const QString& key) const
{
    const QCborValue value = m_map.value(key);
    if (!value.isByteArray())
        return std::nullopt;
    return value.toByteArray();
}

std::optional<KeyedArchive> KeyedArchive::decodeObject(const QString& key) const
{
    return fromValue(m_map.value(key));
}

QCborValue KeyedArchive::dateValue(const QDateTime& value)
{
    // Extended time (CBOR tag 1001, RFC 9581): whole seconds since 1970 under key 1 and the
    // milliseconds within that second under key -3. Exact to the millisecond, and much cheaper
    // than Qt's text date form, which matters because a session holds a thousand dates.
    // An absent date is null, which reads back absent; as a time it would come back as 1970.
    if (!value.isValid())
        return QCborValue(nullptr);
    const auto [seconds, milliseconds] = splitDate(value);
    QCborMap time;
    time.insert(qint64(1), seconds);
    time.insert(qint64(-3), milliseconds);
    return QCborValue(kExtendedTimeTag, time);
}

std::pair<qint64, qint64> KeyedArchive::splitDate(const QDateTime& value)
{
    const qint64 msecs = value.toMSecsSinceEpoch();
    const qint64 seconds = msecs >= 0 ? msecs / 1000 : -((-msecs + 999) / 1000);
    return { seconds, msecs - seconds * 1000 };
}

std::optional<QDateTime> KeyedArchive::toDate(const QCborValue& value)
{
    if (!value.isTag() || value.tag() != kExtendedTimeTag || !value.taggedValue().isMap())
        return std::nullopt;
    const QCborMap time = value.taggedValue().toMap();
    const QCborValue seconds = time.value(qint64(1));
    const QCborValue milliseconds = time.value(qint64(-3));
    if (time.size() != 2 || !seconds.isInteger() || !milliseconds.isInteger())
        return std::nullopt;
    const qint64 fraction = milliseconds.toInteger();
    // The range keeps the arithmetic far from overflow and the date within what QDateTime holds.
    constexpr qint64 kLimit = qint64(1) << 40;
    if (fraction < 0 || fraction > 999 || seconds.toInteger() < -kLimit || seconds.toInteger() > kLimit)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(seconds.toInteger() * 1000 + fraction, QTimeZone::utc());
}

QByteArray KeyedArchive::archive(const QCborValue& root)
{
    // One writer of the envelope, whichever way the root value was built.
    KeyedArchiveWriter out;
    out.value(root);
    return out.bytes();
}

std::optional<QCborValue> KeyedArchive::unarchive(const QByteArray& bytes)
{
    QCborStreamReader reader(bytes);
    const QCborValue outer = QCborValue::fromCbor(reader);
    if (reader.lastError() != QCborError::NoError || reader.currentOffset() != bytes.size())
        return std::nullopt; // damaged, truncated, or followed by stray bytes
    if (!outer.isTag() || outer.tag() != kSelfDescribeTag)
        return std::nullopt;
    const QCborValue envelope = outer.taggedValue();
    if (!envelope.isMap())
        return std::nullopt;
    const QCborMap map = envelope.toMap();
    if (map.value(kFormatKey).toString() != kFormatName)
        return std::nullopt;
    if (!map.value(kVersionKey).isInteger() || map.value(kVersionKey).toInteger() != kEnvelopeVersion)
        return std::nullopt;
    if (!map.contains(kRootKey))
        return std::nullopt;
    return map.value(kRootKey);
}

} // namespace platform
