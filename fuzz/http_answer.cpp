// What the uploader does with a server's answer, fed the way a saved-response URL replays one:
// the saved debug copy (a keyed archive of status, headers and body) is decoded, judged delivered
// or not, described for the log and saved again. Any bytes are a copy or nothing; a copy saved
// again reads back the same; and no answer that came with a transport error (cut short, refused
// redirect, too large, timed out) is ever taken as delivered, whatever its status.

#include <cstdint>

#include <QByteArray>

#include "analytics/TallyHTTPResponse.h"
#include "platform/system/HttpClient.h"
#include "support/FuzzCheck.h"

using analytics::TallyHTTPResponse;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto answer = TallyHTTPResponse::fromSavedCopy(bytes);
    if (!answer)
        return 0;

    const int status = answer->statusCode();
    FUZZ_CHECK(
        answer->isDelivered() == (status >= 200 && status <= 399), "a replayed answer counts by its status");
    (void)answer->description();

    const auto again = TallyHTTPResponse::fromSavedCopy(answer->savedCopy());
    FUZZ_CHECK(again.has_value(), "a saved copy reads back");
    FUZZ_CHECK(again->statusCode() == status && again->body() == answer->body()
            && again->headers() == answer->headers(),
        "a saved copy keeps status, body and headers");

    // The same answer as the HTTP layer hands it over, once whole and once cut short.
    platform::HttpResult result;
    result.statusCode = status;
    result.body = answer->body();
    for (auto it = answer->headers().cbegin(); it != answer->headers().cend(); ++it)
        result.headers.append({ it.key().toUtf8(), it.value().toUtf8() });
    FUZZ_CHECK(TallyHTTPResponse::fromResult(result).isDelivered() == answer->isDelivered(),
        "a whole exchange counts by its status");
    result.error = QStringLiteral("connection closed before the end of the answer");
    FUZZ_CHECK(
        !TallyHTTPResponse::fromResult(result).isDelivered(), "an exchange cut short is never delivered");
    return 0;
}
