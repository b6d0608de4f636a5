#pragma once

// The parts of one HTTP exchange that judge what a server sent, apart from the transport so that
// they can be fuzzed on their own: an answer's header lines, its body under a cap, and whether a
// redirect may be followed. HttpClient feeds them from libcurl's callbacks; each object serves one
// hop on one thread.

#include <optional>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "platform/system/HttpClient.h"

namespace platform::http {

// The status lines, headers and blank lines that curl hands over one line at a time (with their
// line ends): those of interim answers (1xx), then of the final one, then, after a chunked body,
// its trailers. Keeps the final answer's headers; trailers are read past, never kept.
class HeaderLines {
public:
    // Status lines, headers and trailers of one hop together, beyond which the exchange stops.
    static constexpr qsizetype kMaxBytes = 64 * 1024;

    // False once the lines together pass kMaxBytes: the exchange is to end.
    bool feed(QByteArrayView line);
    const HttpHeaders& headers() const { return m_headers; }
    bool tooLarge() const { return m_bytes > kMaxBytes; }

private:
    HttpHeaders m_headers;
    qsizetype m_bytes { 0 };
    bool m_final { false }; // the head being read is the final answer's
    bool m_headEnded { false }; // the final answer's head has ended: what follows are trailers
};

// An answer's body, kept as it arrives up to a cap.
class BodySink {
public:
    explicit BodySink(qint64 cap)
        : m_cap(cap)
    {
    }

    // Keeps the bytes; returns how many were kept, fewer than given once the cap is passed (curl
    // then ends the transfer), with the body kept up to the cap.
    size_t take(const char* data, size_t size);
    QByteArray& body() { return m_body; }
    bool truncated() const { return m_truncated; }

private:
    const qint64 m_cap;
    QByteArray m_body;
    bool m_truncated { false };
};

// The scheme, host and port of a URL as curl's own URL parser reads it (curl is what connects),
// lower-cased, with the scheme's default port filled in; none for a URL curl cannot parse.
struct Origin {
    QByteArray scheme;
    QByteArray host;
    QByteArray port;
    bool operator==(const Origin&) const = default;
};
std::optional<Origin> originOf(const QByteArray& url);

// One request on its way: the URL, method and body of the current hop.
struct Hop {
    QByteArray url;
    QByteArray method;
    QByteArray body;
};

bool isRedirectStatus(int status);

enum class RedirectVerdict { Final, Follow, Refused };

struct Redirect {
    RedirectVerdict verdict { RedirectVerdict::Final };
    QString refusal; // why, when refused
};

// Judges the answer of `hop` (its status, curl's absolute redirect target, empty when there is
// none, and whether the answer named a place at all): a final answer, a redirect refused (another
// scheme, host or port than `origin`, a place curl cannot read, or past `maxRedirects`), or one
// to follow, in which case `hop` becomes the next request. 307 and 308 repeat the request as it
// was; the other redirects fetch the new place with a GET, as browsers do.
Redirect judgeRedirect(Hop& hop, const QByteArray& origin, int status, const QByteArray& target,
    bool namedPlace, int redirectsSoFar, int maxRedirects);

} // namespace platform::http
