#include "platform/system/KeyedArchiveWriter.h"

#include "platform/system/KeyedArchive.h"

namespace platform {

namespace {

// The envelope map: format name, envelope version, root value.
constexpr quint64 kEnvelopeKeys = 3;

// The extended-time map: whole seconds under key 1, milliseconds under key -3.
constexpr quint64 kExtendedTimeKeys = 2;
constexpr qint64 kSecondsKey = 1;
constexpr qint64 kMillisecondsKey = -3;

} // namespace

KeyedArchiveWriter::KeyedArchiveWriter()
{
    m_bytes.reserve(4096);
    m_writer.append(KeyedArchive::kSelfDescribeTag);
    m_writer.startMap(kEnvelopeKeys);
    m_writer.append(QStringView(KeyedArchive::kFormatKey));
    m_writer.append(QStringView(KeyedArchive::kFormatName));
    m_writer.append(QStringView(KeyedArchive::kVersionKey));
    m_writer.append(KeyedArchive::kEnvelopeVersion);
    m_writer.append(QStringView(KeyedArchive::kRootKey));
}

void KeyedArchiveWriter::date(const QDateTime& value)
{
    if (!value.isValid()) {
        m_writer.append(nullptr); // see KeyedArchive::dateValue
        return;
    }
    const auto [seconds, milliseconds] = KeyedArchive::splitDate(value);
    m_writer.append(KeyedArchive::kExtendedTimeTag);
    m_writer.startMap(kExtendedTimeKeys);
    m_writer.append(kSecondsKey);
    m_writer.append(seconds);
    m_writer.append(kMillisecondsKey);
    m_writer.append(milliseconds);
    m_writer.endMap();
}

QByteArray KeyedArchiveWriter::bytes()
{
    if (!m_finished) {
        m_writer.endMap(); // the envelope
        m_finished = true;
    }
    return m_bytes;
}

} // namespace platform
