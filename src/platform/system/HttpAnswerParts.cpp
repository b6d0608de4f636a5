#include "platform/system/HttpAnswerParts.h"

#include <memory>

#include <curl/curl.h>

namespace platform::http {

namespace {

QByteArrayView withoutLineEnd(QByteArrayView line)
{
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r'))
        line.chop(1);
    return line;
}

// The three digits after "HTTP/x "; -1 when they are not there.
int statusOf(QByteArrayView line)
{
    const qsizetype space = line.indexOf(' ');
    if (space < 0 || line.size() < space + 4)
        return -1;
    int status = 0;
    for (const char digit : line.sliced(space + 1, 3)) {
        if (digit < '0' || digit > '9')
            return -1;
        status = status * 10 + (digit - '0');
    }
    return status;
}

} // namespace

bool HeaderLines::feed(QByteArrayView line)
{
    m_bytes += line.size();
    if (tooLarge())
        return false;
    const QByteArrayView text = withoutLineEnd(line);
    if (m_headEnded)
        return true; // a trailer: it may say anything, even look like a status line
    if (text.startsWith("HTTP/")) { // a new head: an interim answer's or the final one's
        m_headers.clear();
        const int status = statusOf(text);
        m_final = status < 0 || status >= 200;
        return true;
    }
    if (text.isEmpty()) {
        m_headEnded = m_final;
        return true;
    }
    if ((text.front() == ' ' || text.front() == '\t') && !m_headers.isEmpty()) { // a folded line
        m_headers.last().second += ' ' + text.trimmed().toByteArray();
        return true;
    }
    // A line without a name (no colon, or only blanks before it) is no header.
    const qsizetype colon = text.indexOf(':');
    const QByteArrayView name = colon < 0 ? QByteArrayView() : text.first(colon).trimmed();
    if (!name.isEmpty())
        m_headers.append({ name.toByteArray(), text.sliced(colon + 1).trimmed().toByteArray() });
    return true;
}

size_t BodySink::take(const char* data, size_t size)
{
    const qint64 room = std::max<qint64>(m_cap - m_body.size(), 0);
    if (qint64(size) > room) {
        m_body.append(data, qsizetype(room));
        m_truncated = true;
        return size_t(room);
    }
    m_body.append(data, qsizetype(size));
    return size;
}

std::optional<Origin> originOf(const QByteArray& url)
{
    const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), curl_url_cleanup);
    // An embedded NUL would hide the rest of the URL from curl.
    if (!parsed || url.contains('\0')
        || curl_url_set(parsed.get(), CURLUPART_URL, url.constData(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return std::nullopt;
    auto part = [&](CURLUPart which, unsigned flags) -> std::optional<QByteArray> {
        char* text = nullptr;
        if (curl_url_get(parsed.get(), which, &text, flags) != CURLUE_OK)
            return std::nullopt;
        QByteArray value = QByteArray(text).toLower();
        curl_free(text);
        return value;
    };
    const auto scheme = part(CURLUPART_SCHEME, 0);
    const auto host = part(CURLUPART_HOST, 0);
    const auto port = part(CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (!scheme || !host || !port)
        return std::nullopt;
    return Origin { *scheme, *host, *port };
}

bool isRedirectStatus(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

Redirect judgeRedirect(Hop& hop, const QByteArray& origin, int status, const QByteArray& target,
    bool namedPlace, int redirectsSoFar, int maxRedirects)
{
    if (!isRedirectStatus(status) || (target.isEmpty() && !namedPlace))
        return {};
    const auto from = originOf(origin);
    const auto to = target.isEmpty() ? std::nullopt : originOf(target);
    if (!from || !to || *from != *to) {
        // The report would go to a server it was never meant for.
        return { RedirectVerdict::Refused,
            target.isEmpty() ? QStringLiteral("redirect to a place that is not a URL refused")
                             : QStringLiteral("redirect to another origin refused: %1")
                                   .arg(QString::fromLatin1(target.left(256))) };
    }
    if (redirectsSoFar >= maxRedirects)
        return { RedirectVerdict::Refused, QStringLiteral("more than %1 redirects").arg(maxRedirects) };
    if (status != 307 && status != 308 && hop.method != "HEAD") {
        hop.method = "GET";
        hop.body.clear();
    }
    hop.url = target;
    return { RedirectVerdict::Follow, {} };
}

} // namespace platform::http
