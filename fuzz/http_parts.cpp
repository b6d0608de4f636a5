// What the HTTP client does with each piece libcurl hands it, without a socket: the header lines
// of an answer (HeaderLines), its body under a cap (BodySink), and the redirect it may follow
// (judgeRedirect, on the place curl's own URL parser makes of the Location header).
//
// Input: byte 0 sets the body cap (0..1020 bytes); byte 1 the answer's status (low 3 bits), the
// request's method (bit 3), the redirects so far (bits 4-6) and an https origin (bit 7). The rest
// is the answer as sent: everything up to its last blank line is fed as header lines (interim
// heads, the final head, trailers), what follows as body, in slices whose sizes the bytes choose.
//
// Promises checked: the head stops past its limit and nothing fed after the final head (trailers,
// even ones that look like a status line) changes the headers kept; the body is what arrived, up
// to the cap, truncated exactly when more arrived; a followed redirect stays on the origin's
// scheme, host and port as curl reads them, within the redirect limit, and only 307/308 keep the
// body; a refused or final answer leaves the request as it was.

#include <cstdint>

#include <QByteArray>

#include <curl/curl.h>

#include "platform/system/HttpAnswerParts.h"
#include "support/FuzzCheck.h"

using namespace platform::http;

namespace {

constexpr int kStatuses[] = { 200, 301, 302, 303, 307, 308, 304, 100 };
constexpr int kMaxRedirects = 5;

bool isFinalStatusLine(QByteArrayView line)
{
    if (!line.startsWith("HTTP/"))
        return false;
    const qsizetype space = line.indexOf(' ');
    if (space < 0 || line.size() < space + 4)
        return true;
    const QByteArrayView digits = line.sliced(space + 1, 3);
    for (const char digit : digits)
        if (digit < '0' || digit > '9')
            return true;
    return digits.toByteArray().toInt() >= 200;
}

void checkHead(QByteArrayView stream, HeaderLines& head)
{
    bool final = false;
    bool ended = false;
    platform::HttpHeaders atEnd;
    qsizetype fed = 0;
    while (!stream.isEmpty()) {
        const qsizetype end = stream.indexOf('\n');
        const QByteArrayView line = end < 0 ? stream : stream.first(end + 1);
        stream = stream.sliced(line.size());
        fed += line.size();
        const bool more = head.feed(line);
        FUZZ_CHECK(more == (fed <= HeaderLines::kMaxBytes), "the head stops exactly past its limit");
        if (!more)
            return; // curl ends the transfer
        QByteArrayView text = line;
        while (!text.isEmpty() && (text.back() == '\n' || text.back() == '\r'))
            text.chop(1);
        if (ended) {
            FUZZ_CHECK(head.headers() == atEnd, "nothing after the final head changes its headers");
        } else if (text.startsWith("HTTP/")) {
            final = isFinalStatusLine(text);
        } else if (text.isEmpty() && final) {
            ended = true;
            atEnd = head.headers();
        }
    }
    for (const auto& [name, value] : head.headers())
        FUZZ_CHECK(
            !name.isEmpty() && !name.contains(':') && name.trimmed() == name, "header names are clean");
}

void checkBody(QByteArrayView body, qint64 cap, QByteArrayView sizes)
{
    BodySink sink(cap);
    qsizetype offered = 0;
    for (qsizetype i = 0; offered < body.size(); ++i) {
        const qsizetype slice = std::min<qsizetype>(
            body.size() - offered, 1 + (sizes.isEmpty() ? 7 : uchar(sizes[i % sizes.size()])));
        const size_t kept = sink.take(body.constData() + offered, size_t(slice));
        const qint64 room = std::max<qint64>(cap - offered, 0);
        FUZZ_CHECK(kept == size_t(std::min<qint64>(slice, room)), "a slice is taken up to the cap");
        offered += slice;
        if (kept < size_t(slice))
            break; // curl ends the transfer
    }
    FUZZ_CHECK(sink.body() == body.first(std::min<qint64>(offered, cap)), "the body kept is what arrived");
    FUZZ_CHECK(sink.truncated() == (offered > cap), "truncated exactly when more arrived than the cap");
}

// The absolute place curl makes of a Location header, as it does for CURLINFO_REDIRECT_URL.
QByteArray resolve(const QByteArray& base, const QByteArray& location)
{
    const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), curl_url_cleanup);
    if (!url || curl_url_set(url.get(), CURLUPART_URL, base.constData(), 0) != CURLUE_OK
        || location.contains('\0')
        || curl_url_set(url.get(), CURLUPART_URL, location.constData(), CURLU_ALLOW_SPACE) != CURLUE_OK)
        return {};
    char* text = nullptr;
    if (curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK)
        return {};
    QByteArray resolved(text);
    curl_free(text);
    return resolved;
}

void checkRedirect(const platform::HttpHeaders& headers, std::uint8_t settings)
{
    QByteArray location;
    for (const auto& [name, value] : headers)
        if (name.compare("Location", Qt::CaseInsensitive) == 0)
            location = value;
    const QByteArray origin
        = settings & 0x80 ? "https://collector.example/report.do" : "http://127.0.0.1:8642/report.do";
    const int status = kStatuses[settings & 7];
    const Hop before { origin + "?hop", settings & 8 ? "HEAD" : "POST", settings & 8 ? "" : "report" };
    const int redirectsSoFar = (settings >> 4) & 7;
    const QByteArray target = location.isEmpty() ? QByteArray() : resolve(before.url, location);

    Hop hop = before;
    const Redirect redirect
        = judgeRedirect(hop, origin, status, target, !location.isEmpty(), redirectsSoFar, kMaxRedirects);
    if (redirect.verdict != RedirectVerdict::Follow) {
        FUZZ_CHECK(hop.url == before.url && hop.method == before.method && hop.body == before.body,
            "a request not redirected stays as it was");
        FUZZ_CHECK(
            (redirect.verdict == RedirectVerdict::Final) == (!isRedirectStatus(status) || location.isEmpty()),
            "only a redirect naming a place is judged");
        return;
    }
    const auto from = originOf(origin);
    const auto to = originOf(hop.url);
    FUZZ_CHECK(
        from && to && *from == *to && hop.url == target, "a redirect is followed only within the origin");
    FUZZ_CHECK(to->scheme == "http" || to->scheme == "https", "a redirect is followed only to the web");
    FUZZ_CHECK(redirectsSoFar < kMaxRedirects, "redirects are followed only so often");
    const bool repeats = status == 307 || status == 308 || before.method == "HEAD";
    FUZZ_CHECK(repeats ? hop.method == before.method && hop.body == before.body
                       : hop.method == "GET" && hop.body.isEmpty(),
        "only 307 and 308 send the body again");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const QByteArrayView answer(reinterpret_cast<const char*>(data) + 2, qsizetype(size - 2));
    const qsizetype headEnd = answer.lastIndexOf("\r\n\r\n");
    const QByteArrayView stream = headEnd < 0 ? answer : answer.first(headEnd + 4);
    const QByteArrayView body = headEnd < 0 ? QByteArrayView() : answer.sliced(headEnd + 4);

    HeaderLines head;
    checkHead(stream, head);
    checkBody(body, qint64(data[0]) * 4, stream);
    checkRedirect(head.headers(), data[1]);
    return 0;
}
