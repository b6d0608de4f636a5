#pragma once

// Writes a keyed archive file (the format KeyedArchive reads: the envelope around one root value,
// dates as extended time) straight to bytes, without building a value tree first. For archives
// that are rewritten often and are large, such as a session with a thousand events, this is
// several times faster than KeyedArchive::archive. The CBOR items are encoded here directly
// (RFC 8949, shortest form for lengths and integers); nested free-form values (event
// parameters) go through QCborValue.
//
// Usage: one root value, written with the calls below in order; containers are given their
// element count up front (a map's count is its number of key/value pairs). Then bytes().
// A plain value; one thread at a time.

#include <cstdint>
#include <string>

#include <QByteArray>
#include <QCborValue>
#include <QDateTime>
#include <QLatin1StringView>
#include <QString>

namespace platform {

class KeyedArchiveWriter {
public:
    KeyedArchiveWriter();
    KeyedArchiveWriter(const KeyedArchiveWriter&) = delete;
    KeyedArchiveWriter& operator=(const KeyedArchiveWriter&) = delete;

    void beginObject(qsizetype keyCount) { head(5, std::uint64_t(keyCount)); }
    void beginList(qsizetype count) { head(4, std::uint64_t(count)); }
    // Keys are plain ASCII names; free-form text keys go through string().
    void key(QLatin1StringView name);

    void int32(qint32 value) { int64(value); }
    void int64(qint64 value);
    void float64(double value);
    void float32(float value) { float64(double(value)); } // read back as a double
    void boolean(bool value) { m_bytes.push_back(char(value ? 0xf5 : 0xf4)); }
    void string(const QString& value);
    void bytes(const QByteArray& value);
    void date(const QDateTime& value);
    void value(const QCborValue& value);

    // The finished file. The root value must be complete.
    QByteArray bytes() const { return QByteArray(m_bytes.data(), qsizetype(m_bytes.size())); }

private:
    void head(int major, std::uint64_t argument);
    void raw(const char* data, qsizetype size) { m_bytes.append(data, size_t(size)); }

    std::string m_bytes; // appends byte by byte are the common case; std::string is fastest at it
};

} // namespace platform
