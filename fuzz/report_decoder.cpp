// The binary report decoder (lumivue-report decode, the tests' view of what is sent): any bytes
// decode to JSON or are refused with one line; the decoder never reads outside the input.

#include <cstdint>

#include <QByteArray>

#include "analytics/TallyReportDecoder.h"
#include "support/FuzzCheck.h"

using analytics::TallyReportDecoder;

namespace {

void checkResult(const TallyReportDecoder::Result& result)
{
    if (result.ok()) {
        FUZZ_CHECK(!result.json.isEmpty(), "a decoded report or record has fields");
    } else {
        FUZZ_CHECK(
            !result.error.isEmpty() && !result.error.contains(QLatin1Char('\n')), "a refusal is one line");
        FUZZ_CHECK(result.json.isEmpty(), "a refused input yields no half result");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // fromRawData: no copy, so ASan sees a read past the end of the fuzzer's buffer.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    checkResult(TallyReportDecoder::decodeReport(bytes));
    // The same bytes as one saved record (the form the saved-sessions file holds).
    checkResult(TallyReportDecoder::decodeSessionRecord(bytes));
    return 0;
}
