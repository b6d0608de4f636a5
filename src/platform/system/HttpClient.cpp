#include "platform/system/HttpClient.h"

#include <atomic>
#include <memory>

#include <curl/curl.h>

#include "platform/system/HttpAnswerParts.h"

namespace platform {

namespace {

using namespace http;

std::atomic<bool> g_aborted { false };

// How often a transfer waiting on the network looks at abortAll().
constexpr int kAbortPollMs = 20;

using EasyHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using MultiHandle = std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)>;
using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

// curl's process-wide set-up, once, before the first transfer on any thread.
bool curlReady()
{
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

bool isWebScheme(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// A method is a token; anything else would forge the request line.
bool isToken(const QByteArray& method)
{
    return !method.isEmpty() && std::all_of(method.cbegin(), method.cend(), [](char c) {
        return (c >= 'A' && c <= 'Z') || c == '-';
    });
}

bool isFramingHeader(const QByteArray& name)
{
    for (const char* framing : { "Content-Length", "Transfer-Encoding", "Host", "Expect" }) {
        if (name.compare(framing, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The caller's headers, without those by which curl frames and routes the request, and with
// curl's own Expect (a body held back until "100 Continue") and form Content-Type turned off.
HeaderList requestHeaders(const HttpRequest& request)
{
    auto hasBreak = [](const QByteArray& text) {
        return text.contains('\r') || text.contains('\n') || text.contains('\0');
    };
    curl_slist* list = nullptr;
    bool hasType = false;
    for (const auto& [name, value] : request.headers) {
        // Header text is the caller's; line breaks in it would forge more headers.
        const bool clean = !name.isEmpty() && !name.contains(':') && !name.contains(' ') && !hasBreak(name)
            && !hasBreak(value);
        if (!clean || isFramingHeader(name))
            continue;
        hasType = hasType || name.compare("Content-Type", Qt::CaseInsensitive) == 0;
        // "Name;" is curl's way to send a header with an empty value.
        const QByteArray line = value.isEmpty() ? name + ';' : name + ": " + value;
        list = curl_slist_append(list, line.constData());
    }
    list = curl_slist_append(list, "Expect:");
    if (!hasType)
        list = curl_slist_append(list, "Content-Type:");
    return HeaderList(list, curl_slist_free_all);
}

// What curl's callbacks fill for one hop.
struct Transfer {
    HeaderLines head;
    BodySink sink;
};

// curl is C: nothing may be thrown through it.
size_t onHeader(char* data, size_t size, size_t count, void* transfer) noexcept
{
    try {
        return static_cast<Transfer*>(transfer)->head.feed(QByteArrayView(data, qsizetype(size * count)))
            ? size * count
            : 0;
    } catch (...) {
        return 0;
    }
}

size_t onBody(char* data, size_t size, size_t count, void* transfer) noexcept
{
    try {
        return static_cast<Transfer*>(transfer)->sink.take(data, size * count);
    } catch (...) {
        return 0;
    }
}

void configure(CURL* easy, const HttpRequest& request, const Hop& hop, std::chrono::milliseconds left,
    curl_slist* headers, Transfer& transfer, char* errors)
{
    curl_easy_setopt(easy, CURLOPT_URL, hop.url.constData());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errors);
    // No signals from a worker thread (the time-outs go through the transfer itself).
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // An abort ends the transfer at once, even while a host name is being looked up.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    // Redirects are judged here, hop by hop: curl would re-send the body to wherever it is told.
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    // A connection of its own, never reused: curl re-sends a request only on a reused connection.
    curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(std::max<qint64>(left.count(), 1)));
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!request.caFile.isEmpty()) {
        curl_easy_setopt(easy, CURLOPT_CAINFO, request.caFile.toLocal8Bit().constData());
        curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr); // that file only, not the system's as well
    }
    // A proxy's answer to CONNECT is not the server's head.
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);

    if (hop.method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        return; // its Content-Length is the resource's, not an answer's
    }
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(request.maxBodyBytes));
    if (hop.method == "GET" && hop.body.isEmpty()) {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        return;
    }
    if (hop.method != "POST")
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, hop.method.constData());
    if (hop.method == "POST" || hop.method == "PUT" || !hop.body.isEmpty()) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, hop.body.constData());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(hop.body.size()));
    }
}

HttpResult abortedResult()
{
    HttpResult result;
    result.aborted = true;
    result.error = QStringLiteral("aborted");
    return result;
}

// Sends one hop and waits for its whole answer (or the time left, or an abort). `redirectTarget`
// receives where a redirect answer points, as curl resolved it.
HttpResult sendHop(
    const HttpRequest& request, const Hop& hop, std::chrono::milliseconds left, QByteArray& redirectTarget)
{
    HttpResult result;
    EasyHandle easy(curl_easy_init(), curl_easy_cleanup);
    MultiHandle multi(curl_multi_init(), curl_multi_cleanup);
    if (!easy || !multi) {
        result.error = QStringLiteral("the HTTP library could not start a transfer");
        return result;
    }
    char errors[CURL_ERROR_SIZE] = {};
    Transfer transfer { {}, BodySink(request.maxBodyBytes) };
    const HeaderList headers = requestHeaders(request);
    configure(easy.get(), request, hop, left, headers.get(), transfer, errors);

    // The multi interface only to wait in short steps, so that an abort is seen at once.
    curl_multi_add_handle(multi.get(), easy.get());
    CURLcode code = CURLE_OK;
    bool aborted = false;
    for (;;) {
        if (g_aborted.load()) {
            aborted = true;
            break;
        }
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            code = CURLE_OUT_OF_MEMORY;
            break;
        }
        if (running == 0) {
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
                if (message->msg == CURLMSG_DONE)
                    code = message->data.result;
            }
            break;
        }
        curl_multi_poll(multi.get(), nullptr, 0, kAbortPollMs, nullptr);
    }
    curl_multi_remove_handle(multi.get(), easy.get());

    long status = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
    result.statusCode = int(status);
    result.headers = transfer.head.headers();
    result.body = std::move(transfer.sink.body());
    result.bodyTruncated = transfer.sink.truncated();
    if (aborted)
        return abortedResult();
    const QString tooLarge = QStringLiteral("answer larger than %1 bytes").arg(request.maxBodyBytes);
    switch (code) {
    case CURLE_OK: {
        char* target = nullptr;
        curl_easy_getinfo(easy.get(), CURLINFO_REDIRECT_URL, &target);
        redirectTarget = target;
        break;
    }
    case CURLE_OPERATION_TIMEDOUT:
        result.timedOut = true;
        result.error = QStringLiteral("timed out after %1 ms").arg(request.timeout.count());
        break;
    case CURLE_FILESIZE_EXCEEDED:
        result.bodyTruncated = true;
        result.error = tooLarge;
        break;
    case CURLE_PARTIAL_FILE:
        result.error = QStringLiteral("the answer was cut short");
        break;
    case CURLE_GOT_NOTHING:
        result.error = QStringLiteral("the server closed the connection without an answer");
        break;
    default:
        if (transfer.sink.truncated())
            result.error = tooLarge;
        else if (transfer.head.tooLarge())
            result.error
                = QStringLiteral("the answer's headers are larger than %1 bytes").arg(HeaderLines::kMaxBytes);
        else
            result.error = QString::fromUtf8(errors[0] ? errors : curl_easy_strerror(code));
        break;
    }
    return result;
}

} // namespace

HttpResult HttpClient::send(const HttpRequest& request)
{
    HttpResult result;
    if (!isWebScheme(request.url) || request.url.host().isEmpty()) {
        result.error = QStringLiteral("unsupported URL: %1").arg(request.url.toDisplayString());
        return result;
    }
    if (!isToken(request.method)) {
        result.error = QStringLiteral("unsupported method");
        return result;
    }
    if (!curlReady()) {
        result.error = QStringLiteral("the HTTP library could not start");
        return result;
    }
    const QByteArray origin = request.url.toEncoded();
    const auto deadline = std::chrono::steady_clock::now() + request.timeout;
    Hop hop { origin, request.method, request.body };
    for (int redirects = 0;; ++redirects) {
        if (g_aborted.load())
            return abortedResult();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            result.error = QStringLiteral("timed out after %1 ms").arg(request.timeout.count());
            return result;
        }
        QByteArray target;
        result = sendHop(request, hop, left, target);
        if (!result.error.isEmpty())
            return result;
        const bool namedPlace = std::any_of(
            result.headers.cbegin(), result.headers.cend(), [](const auto& header) {
                return header.first.compare("Location", Qt::CaseInsensitive) == 0 && !header.second.isEmpty();
            });
        const Redirect redirect = judgeRedirect(
            hop, origin, result.statusCode, target, namedPlace, redirects, request.maxRedirects);
        if (redirect.verdict == RedirectVerdict::Final)
            return result;
        if (redirect.verdict == RedirectVerdict::Refused) {
            result.redirectRefused = true;
            result.error = redirect.refusal;
            return result;
        }
    }
}

void HttpClient::abortAll()
{
    g_aborted.store(true);
}

void HttpClient::allowRequests()
{
    g_aborted.store(false);
}

} // namespace platform
