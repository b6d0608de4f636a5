#include "platform/system/KeyedArchiveWriter.h"

#include <bit>
#include <cstring>

#include "platform/system/KeyedArchive.h"

namespace platform {

KeyedArchiveWriter::KeyedArchiveWriter()
{
    m_bytes.reserve(4096);
    head(6, std::uint64_t(KeyedArchive::kSelfDescribeTag));
    beginObject(3);
    string(KeyedArchive::kFormatKey);
    string(KeyedArchive::kFormatName);
    string(KeyedArchive::kVersionKey);
    int64(KeyedArchive::kEnvelopeVersion);
    string(KeyedArchive::kRootKey);
}

void KeyedArchiveWriter::head(int major, std::uint64_t argument)
{
    const auto type = char(major << 5);
    if (argument < 24) {
        m_bytes.push_back(char(type | char(argument)));
        return;
    }
    int size = 8;
    char marker = 27;
    if (argument <= 0xff) {
        size = 1;
        marker = 24;
    } else if (argument <= 0xffff) {
        size = 2;
        marker = 25;
    } else if (argument <= 0xffffffffu) {
        size = 4;
        marker = 26;
    }
    m_bytes.push_back(char(type | marker));
    for (int shift = (size - 1) * 8; shift >= 0; shift -= 8)
        m_bytes.push_back(char((argument >> shift) & 0xff));
}

void KeyedArchiveWriter::key(QLatin1StringView name)
{
    head(3, std::uint64_t(name.size()));
    raw(name.data(), name.size());
}

void KeyedArchiveWriter::int64(qint64 value)
{
    if (value >= 0)
        head(0, std::uint64_t(value));
    else
        head(1, std::uint64_t(-(value + 1)));
}

void KeyedArchiveWriter::float64(double value)
{
    m_bytes.push_back(char(0xfb));
    const auto bits = std::bit_cast<std::uint64_t>(value);
    for (int shift = 56; shift >= 0; shift -= 8)
        m_bytes.push_back(char((bits >> shift) & 0xff));
}

void KeyedArchiveWriter::string(const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    head(3, std::uint64_t(utf8.size()));
    raw(utf8.constData(), utf8.size());
}

void KeyedArchiveWriter::bytes(const QByteArray& value)
{
    head(2, std::uint64_t(value.size()));
    raw(value.constData(), value.size());
}

void KeyedArchiveWriter::value(const QCborValue& value)
{
    const QByteArray encoded = value.toCbor();
    raw(encoded.constData(), encoded.size());
}

void KeyedArchiveWriter::date(const QDateTime& value)
{
    if (!value.isValid()) {
        m_bytes.push_back(char(0xf6)); // null: see KeyedArchive::dateValue
        return;
    }
    const auto [seconds, milliseconds] = KeyedArchive::splitDate(value);
    head(6, std::uint64_t(KeyedArchive::kExtendedTimeTag));
    beginObject(2);
    int64(1);
    int64(seconds);
    int64(-3);
    int64(milliseconds);
}

} // namespace platform
