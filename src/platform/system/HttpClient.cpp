#include "platform/system/HttpClient.h"

#include <memory>

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace platform {

namespace {

bool isWebScheme(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// Scheme, host and port (the scheme's own port when none is written).
bool isSameOrigin(const QUrl& a, const QUrl& b)
{
    const auto port = [](const QUrl& url) { return url.port(url.scheme().toLower() == QLatin1String("https") ? 443 : 80); };
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0
        && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && port(a) == port(b);
}

// The errors by which Qt reports an HTTP status of 400 and above.
bool isStatusError(QNetworkReply::NetworkError error)
{
    return (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError)
        || error == QNetworkReply::ProxyAuthenticationRequiredError
        || error == QNetworkReply::ProtocolInvalidOperationError
        || (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

// Keeps the status and headers of the answer in hand, so that an exchange cut short (a refused
// redirect, an oversized body) still reports what the server said.
void captureMetaData(QNetworkReply* reply, HttpResult& result)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        result.statusCode = status.toInt();
    const auto pairs = reply->rawHeaderPairs();
    if (!pairs.isEmpty())
        result.headers = pairs;
}

// Qt buffers at most this much of an answer ahead of the body cap check.
constexpr qint64 kReadSliceBytes = 64 * 1024;

QNetworkRequest networkRequestFor(const QUrl& url, const HttpHeaders& headers)
{
    QNetworkRequest networkRequest(url);
    for (const auto& [name, value] : headers)
        networkRequest.setRawHeader(name, value);
    networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    networkRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    networkRequest.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    networkRequest.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    networkRequest.setTransferTimeout(0); // the whole-exchange deadline governs
    return networkRequest;
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// One request on its way: the method, place and body of the current hop.
struct Hop {
    QUrl url;
    QByteArray method;
    QByteArray body;
};

// The exchange as a whole: one manager, one local loop and one deadline shared by every hop.
class Exchange {
public:
    explicit Exchange(const HttpRequest& request)
        : m_request(request)
    {
        // Redirects are followed here rather than inside Qt, so that each target is checked
        // before anything is sent to it and all hops share one deadline.
        m_manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
        m_deadline.setSingleShot(true);
        QObject::connect(&m_deadline, &QTimer::timeout, &m_loop, [this] {
            m_expired = true;
            m_loop.quit();
        });
        m_deadline.start(request.timeout);
    }

    HttpResult run()
    {
        Hop hop { m_request.url, m_request.method, m_request.body };
        for (int redirects = 0;; ++redirects) {
            QByteArray location;
            HttpResult result = sendOnce(hop, location);
            if (!result.error.isEmpty() || !isRedirect(result.statusCode) || location.isEmpty())
                return result;
            if (!followRedirect(hop, location, redirects, result))
                return result;
        }
    }

private:
    // Sends one hop and waits for its answer (or the deadline). `location` receives the
    // answer's Location header.
    HttpResult sendOnce(const Hop& hop, QByteArray& location)
    {
        HttpResult result;
        std::unique_ptr<QNetworkReply> reply(
            m_manager.sendCustomRequest(networkRequestFor(hop.url, m_request.headers), hop.method, hop.body));
        reply->setReadBufferSize(kReadSliceBytes);

        QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &m_loop,
                         [&] { captureMetaData(reply.get(), result); });
        QObject::connect(reply.get(), &QNetworkReply::readyRead, &m_loop, [&] { readBody(reply.get(), result); });
        QObject::connect(reply.get(), &QNetworkReply::finished, &m_loop, &QEventLoop::quit);

        if (!reply->isFinished() && !m_expired)
            m_loop.exec(QEventLoop::ExcludeUserInputEvents);

        if (m_expired && !reply->isFinished()) {
            captureMetaData(reply.get(), result);
            result.timedOut = true;
            result.error = QStringLiteral("timed out after %1 ms").arg(m_request.timeout.count());
            reply->abort();
            return result;
        }
        if (result.bodyTruncated)
            return result;
        readBody(reply.get(), result); // whatever is still buffered after the last readyRead
        if (result.bodyTruncated)
            return result;
        captureMetaData(reply.get(), result);
        // An HTTP status is the server's answer, whatever it is, and Qt reports the ones of 400
        // and above as errors too; any other error means the exchange broke off, even after a
        // status arrived (an answer cut short before its stated length, a protocol failure).
        if (reply->error() != QNetworkReply::NoError && (result.statusCode == 0 || !isStatusError(reply->error())))
            result.error = reply->errorString();
        location = reply->rawHeader("Location");
        return result;
    }

    // Appends what has arrived, up to the body cap; beyond it, keeps what fits and aborts.
    void readBody(QNetworkReply* reply, HttpResult& result) const
    {
        if (result.bodyTruncated)
            return;
        const qint64 room = m_request.maxBodyBytes - result.body.size();
        const QByteArray chunk = reply->read(room + 1);
        if (chunk.size() <= room) {
            result.body.append(chunk);
            return;
        }
        result.body.append(chunk.left(room));
        result.bodyTruncated = true;
        result.error = QStringLiteral("answer larger than %1 bytes").arg(m_request.maxBodyBytes);
        captureMetaData(reply, result);
        reply->abort();
    }

    // Moves `hop` to the redirect's target; false (with the refusal in `result`) when the
    // target is not a web URL of the same origin, or the redirect limit is reached.
    bool followRedirect(Hop& hop, const QByteArray& location, int redirectsSoFar, HttpResult& result) const
    {
        const QUrl target = hop.url.resolved(QUrl::fromEncoded(location));
        if (!isWebScheme(target)) {
            result.redirectRefused = true;
            result.error = QStringLiteral("redirect to a non-HTTP URL refused: %1").arg(target.toDisplayString());
            return false;
        }
        // What is sent (a 307 or 308 repeats the body) never goes to a server the caller did not
        // choose.
        if (!isSameOrigin(m_request.url, target)) {
            result.redirectRefused = true;
            result.error = QStringLiteral("redirect to another origin refused: %1").arg(target.toDisplayString());
            return false;
        }
        if (redirectsSoFar >= m_request.maxRedirects) {
            result.redirectRefused = true;
            result.error = QStringLiteral("more than %1 redirects").arg(m_request.maxRedirects);
            return false;
        }
        // As browsers do: 307 and 308 repeat the request, the others fetch the new place.
        const int status = result.statusCode;
        if (status != 307 && status != 308 && hop.method != "HEAD") {
            hop.method = "GET";
            hop.body.clear();
        }
        hop.url = target;
        return true;
    }

    const HttpRequest& m_request;
    QNetworkAccessManager m_manager; // on this thread; no cache is installed on it
    QEventLoop m_loop;
    QTimer m_deadline;
    bool m_expired { false };
};

} // namespace

HttpResult HttpClient::send(const HttpRequest& request)
{
    if (!isWebScheme(request.url)) {
        HttpResult result;
        result.error = QStringLiteral("unsupported URL: %1").arg(request.url.toDisplayString());
        return result;
    }
    return Exchange(request).run();
}

} // namespace platform
