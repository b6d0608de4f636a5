#include "platform/core/ImageFileCheck.h"

#include <cstring>

#include <QFile>

namespace platform {

namespace {

constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";
constexpr qsizetype kPngSignatureLength = 8;

quint32 bigEndian32(const uchar* p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
}

// A chunk type as text when it is one (four ASCII letters).
QString nameOf(QByteArrayView type)
{
    for (const char c : type)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
            return QStringLiteral("unnamed");
    return QString::fromLatin1(type);
}

std::optional<QString> pngDamage(const uchar* data, qsizetype size)
{
    constexpr qsizetype kChunkFrame = 12; // length, type, CRC
    qsizetype at = kPngSignatureLength;
    while (size - at >= kChunkFrame) {
        const quint32 length = bigEndian32(data + at);
        const QByteArrayView type(data + at + 4, 4);
        const qsizetype left = size - at - kChunkFrame;
        if (length > 0x7fffffffu || qsizetype(length) > left)
            return QStringLiteral("its %1 chunk claims %2 bytes, the file holds %3 more")
                .arg(nameOf(type))
                .arg(length)
                .arg(left);
        if (type == "IEND")
            return std::nullopt;
        at += kChunkFrame + qsizetype(length);
    }
    return QStringLiteral("it ends before its last chunk (the file is cut short)");
}

// Markers without a length: TEM, SOI and the restart markers RST0-7.
bool standalone(uchar marker)
{
    return marker == 0x01 || marker == 0xd8 || (marker >= 0xd0 && marker <= 0xd7);
}

std::optional<QString> jpegDamage(const uchar* data, qsizetype size)
{
    const QString cutShort
        = QStringLiteral("its data ends before the end-of-image marker (the file is cut short)");
    // The index of the next 0xFF from `from`, or -1.
    const auto nextFF = [&](qsizetype from) -> qsizetype {
        const void* found = from < size ? std::memchr(data + from, 0xff, std::size_t(size - from)) : nullptr;
        return found ? static_cast<const uchar*>(found) - data : -1;
    };
    qsizetype at = 2; // after SOI
    for (;;) {
        // Stray bytes before a marker are skipped, as libjpeg does; only the end matters here.
        at = nextFF(at);
        while (at >= 0 && at < size && data[at] == 0xff) // fill bytes
            ++at;
        if (at < 0 || at >= size)
            return cutShort;
        const uchar marker = data[at++];
        if (marker == 0xd9)
            return std::nullopt;
        if (standalone(marker))
            continue;
        if (size - at < 2)
            return cutShort;
        const qsizetype length = qsizetype(data[at]) << 8 | data[at + 1];
        if (length < 2 || length > size - at)
            return cutShort;
        at += length;
        if (marker != 0xda)
            continue;
        // Entropy-coded data after a scan header: it ends at the first 0xFF that is neither a
        // stuffed zero nor a restart marker.
        for (at = nextFF(at); at >= 0 && at + 1 < size; at = nextFF(at + 2)) {
            const uchar following = data[at + 1];
            if (following != 0x00 && (following < 0xd0 || following > 0xd7))
                break;
        }
        if (at < 0 || at + 1 >= size)
            return cutShort;
    }
}

} // namespace

std::optional<QString> imageDamage(QByteArrayView bytes)
{
    const auto* data = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype size = bytes.size();
    if (size >= kPngSignatureLength && std::memcmp(data, kPngSignature, kPngSignatureLength) == 0)
        return pngDamage(data, size);
    if (size >= 3 && data[0] == 0xff && data[1] == 0xd8 && data[2] == 0xff)
        return jpegDamage(data, size);
    return std::nullopt;
}

std::optional<QString> imageFileDamage(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return std::nullopt;
    const uchar* mapped = file.map(0, file.size());
    if (!mapped)
        return std::nullopt;
    return imageDamage(QByteArrayView(mapped, file.size()));
}

} // namespace platform
