#include "platform/system/KeyedArchive.h"

#include <limits>

#include <QCborStreamReader>

namespace platform {

namespace {

// The envelope: {"archive": "lumivue.keyed", "version": 1, "root": <value>} under the CBOR
// self-describe tag, so `file` and CBOR tools recognise the files.
const QString kFormatKey = QStringLiteral("archive");
const QString kFormatName = QStringLiteral("lumivue.keyed");
const QString kVersionKey = QStringLiteral("version");
const QString kRootKey = QStringLiteral("root");
constexpr qint64 kEnvelopeVersion = 1;
constexpr QCborTag kSelfDescribeTag = QCborTag(55799);

} // namespace

std::optional<KeyedArchive> KeyedArchive::fromValue(const QCborValue& value)
{
    if (!value.isMap())
        return std::nullopt;
    return KeyedArchive(value.toMap());
}

void KeyedArchive::encodeInt32(const QString& key, qint32 value) { m_map.insert(key, qint64(value)); }
void KeyedArchive::encodeInt64(const QString& key, qint64 value) { m_map.insert(key, value); }
void KeyedArchive::encodeDouble(const QString& key, double value) { m_map.insert(key, value); }
void KeyedArchive::encodeFloat(const QString& key, float value) { m_map.insert(key, double(value)); }
void KeyedArchive::encodeBool(const QString& key, bool value) { m_map.insert(key, value); }
void KeyedArchive::encodeString(const QString& key, const QString& value) { m_map.insert(key, value); }
void KeyedArchive::encodeDate(const QString& key, const QDateTime& value) { m_map.insert(key, dateValue(value)); }
void KeyedArchive::encodeMap(const QString& key, const QCborMap& value) { m_map.insert(key, value); }
void KeyedArchive::encodeList(const QString& key, const QCborArray& value) { m_map.insert(key, value); }
void KeyedArchive::encodeBytes(const QString& key, const QByteArray& value) { m_map.insert(key, value); }
void KeyedArchive::encodeObject(const QString& key, const KeyedArchive& value) { m_map.insert(key, value.m_map); }

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
    // The standard text form (tag 0) keeps milliseconds exactly and stays readable.
    return QCborValue(value.toUTC());
}

std::optional<QDateTime> KeyedArchive::toDate(const QCborValue& value)
{
    if (!value.isDateTime())
        return std::nullopt;
    const QDateTime date = value.toDateTime();
    if (!date.isValid())
        return std::nullopt;
    return date;
}

QByteArray KeyedArchive::archive(const QCborValue& root)
{
    QCborMap envelope;
    envelope.insert(kFormatKey, kFormatName);
    envelope.insert(kVersionKey, kEnvelopeVersion);
    envelope.insert(kRootKey, root);
    return QCborValue(kSelfDescribeTag, envelope).toCbor();
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
