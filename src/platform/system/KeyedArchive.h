#pragma once

// Keyed archives: the form in which objects are stored on disk. A keyed object maps text keys to
// typed values (32- and 64-bit integers, double, float, flag, text, date, map, list, bytes and
// nested keyed objects). Decoding tells a missing key (`contains` is false) from a present one and
// answers "absent" (std::nullopt) for a value of another type or out of the type's range, so a
// reader never takes one kind of value for another. A whole file holds one root value wrapped in
// a small envelope; bytes that are not such an envelope decode to "absent", never to a half value.
//
// The encoding is CBOR (RFC 8949): self-describing, compact, and readable by common tools.
// Plain values: any thread may use its own instances.

#include <optional>
#include <utility>

#include <QByteArray>
#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QDateTime>
#include <QString>

namespace platform {

class KeyedArchive {
public:
    KeyedArchive() = default;

    // Wraps a decoded map; `fromValue` answers absent when the value is not a map. QCborMap has
    // no move constructor, so a by-value parameter would buy nothing over the shared copy.
    explicit KeyedArchive(const QCborMap& map)
        : m_map(map)
    {
    }
    static std::optional<KeyedArchive> fromValue(const QCborValue& value);

    void encodeInt32(const QString& key, qint32 value);
    void encodeInt64(const QString& key, qint64 value);
    void encodeDouble(const QString& key, double value);
    void encodeFloat(const QString& key, float value);
    void encodeBool(const QString& key, bool value);
    void encodeString(const QString& key, const QString& value);
    void encodeDate(const QString& key, const QDateTime& value); // to the millisecond; invalid: null
    void encodeMap(const QString& key, const QCborMap& value);
    void encodeList(const QString& key, const QCborArray& value);
    void encodeBytes(const QString& key, const QByteArray& value);
    void encodeObject(const QString& key, const KeyedArchive& value);

    bool contains(const QString& key) const { return m_map.contains(key); }

    std::optional<qint32> decodeInt32(const QString& key) const;
    std::optional<qint64> decodeInt64(const QString& key) const;
    std::optional<double> decodeDouble(const QString& key) const;
    std::optional<float> decodeFloat(const QString& key) const;
    std::optional<bool> decodeBool(const QString& key) const;
    std::optional<QString> decodeString(const QString& key) const;
    std::optional<QDateTime> decodeDate(const QString& key) const;
    std::optional<QCborMap> decodeMap(const QString& key) const;
    std::optional<QCborArray> decodeList(const QString& key) const;
    std::optional<QByteArray> decodeBytes(const QString& key) const;
    std::optional<KeyedArchive> decodeObject(const QString& key) const;

    const QCborMap& toMap() const { return m_map; }
    QCborValue toValue() const { return QCborValue(m_map); }

    // Value helpers shared by list and map elements.
    static QCborValue dateValue(const QDateTime& value);
    static std::optional<QDateTime> toDate(const QCborValue& value);

    // A whole archive file around one root value, and back. `unarchive` answers absent for
    // anything that is not exactly one well-formed archive (garbage, truncation, trailing bytes,
    // another format or a newer envelope version).
    static QByteArray archive(const QCborValue& root);
    static std::optional<QCborValue> unarchive(const QByteArray& bytes);

    // The envelope and date form, shared with KeyedArchiveWriter.
    static constexpr QCborTag kSelfDescribeTag = QCborTag(55799);
    static constexpr QCborTag kExtendedTimeTag = QCborTag(1001);
    static constexpr qint64 kEnvelopeVersion = 1;
    static inline const QString kFormatKey = QStringLiteral("archive");
    static inline const QString kFormatName = QStringLiteral("lumivue.keyed");
    static inline const QString kVersionKey = QStringLiteral("version");
    static inline const QString kRootKey = QStringLiteral("root");
    // Whole seconds since 1970 (rounded down) and the milliseconds within that second (0–999).
    static std::pair<qint64, qint64> splitDate(const QDateTime& value);

private:
    QCborMap m_map;
};

} // namespace platform
