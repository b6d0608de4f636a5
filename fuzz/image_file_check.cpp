// The structure check run before a photo, a still feed or a tool's input is decoded: any bytes
// are judged without reading past them, and bytes judged whole decode within the fuzzer's memory
// limit (a PNG whose chunk claims gigabytes must never reach the decoder).

#include <cstdint>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include "platform/core/ImageFileCheck.h"
#include "support/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A copy of exactly `size` bytes, so that AddressSanitizer sees any read past the end.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto damage = platform::imageDamage(QByteArrayView(bytes));
    if (damage) {
        FUZZ_CHECK(!damage->isEmpty(), "damage is said in words");
        return 0;
    }
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(64); // megabytes, well under the fuzzer's memory limit
    (void)reader.read();
    return 0;
}
