#pragma once

// Writes a keyed archive file (the format KeyedArchive reads: the envelope around one root value,
// dates as extended time) straight to bytes through QCborStreamWriter, without building a value
// tree first. For archives that are rewritten often and are large, such as a session with a
// thousand events, this is several times faster than building the tree, and the bytes are the
// same as the tree form writes: definite lengths, shortest integers, doubles as 64-bit floats.
//
// Usage: one root value, written with the calls below in order; containers are given their
// element count up front (a map's count is its number of key/value pairs) and closed with the
// matching end call. Then bytes(), once.
// A plain value; one thread at a time.

#include <QByteArray>
#include <QCborStreamWriter>
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

    void beginObject(qsizetype keyCount) { m_writer.startMap(quint64(keyCount)); }
    void endObject() { m_writer.endMap(); }
    void beginList(qsizetype count) { m_writer.startArray(quint64(count)); }
    void endList() { m_writer.endArray(); }
    // Keys are plain ASCII names; free-form text keys go through string().
    void key(QLatin1StringView name) { m_writer.append(name); }

    void int32(qint32 value) { int64(value); }
    void int64(qint64 value) { m_writer.append(value); }
    void float64(double value) { m_writer.append(value); } // always 8 bytes, never shortened
    void float32(float value) { float64(double(value)); } // read back as a double
    void boolean(bool value) { m_writer.append(value); }
    void string(const QString& value) { m_writer.append(QStringView(value)); }
    void bytes(const QByteArray& value) { m_writer.append(value); }
    void date(const QDateTime& value);
    void value(const QCborValue& value) { value.toCbor(m_writer); }

    // Closes the envelope and returns the finished file. The root value must be complete.
    QByteArray bytes();

private:
    QByteArray m_bytes;
    QCborStreamWriter m_writer { &m_bytes };
    bool m_finished { false };
};

} // namespace platform
