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

} // namespace

HttpResult HttpClient::send(const HttpRequest& request)
{
    HttpResult result;
    if (!isWebScheme(request.url)) {
        result.error = QStringLiteral("unsupported URL: %1").arg(request.url.toDisplayString());
        return result;
    }

    QNetworkAccessManager manager; // on this thread; no cache is installed on it
    // Redirects are followed here rather than inside Qt, so that each target is checked before
    // anything is sent to it and all hops share one deadline.
    manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(request.timeout);
    bool expired = false;
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        expired = true;
        loop.quit();
    });

    QUrl url = request.url;
    QByteArray method = request.method;
    QByteArray body = request.body;
    for (int hop = 0;; ++hop) {
        result = HttpResult {};
        QNetworkRequest networkRequest(url);
        for (const auto& [name, value] : request.headers)
            networkRequest.setRawHeader(name, value);
        networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        networkRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        networkRequest.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
        networkRequest.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
        networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        networkRequest.setTransferTimeout(0); // the whole-exchange deadline governs

        std::unique_ptr<QNetworkReply> reply(manager.sendCustomRequest(networkRequest, method, body));
        // Keep Qt from buffering more than a slice of the answer ahead of the cap check.
        reply->setReadBufferSize(64 * 1024);

        auto readBody = [&] {
            if (result.bodyTruncated)
                return;
            const qint64 room = request.maxBodyBytes - result.body.size();
            const QByteArray chunk = reply->read(room + 1);
            if (chunk.size() > room) {
                result.body.append(chunk.left(room));
                result.bodyTruncated = true;
                result.error = QStringLiteral("answer larger than %1 bytes").arg(request.maxBodyBytes);
                captureMetaData(reply.get(), result);
                reply->abort();
                return;
            }
            result.body.append(chunk);
        };
        QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop,
                         [&] { captureMetaData(reply.get(), result); });
        QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, readBody);
        QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);

        if (!reply->isFinished() && !expired)
            loop.exec(QEventLoop::ExcludeUserInputEvents);

        if (expired && !reply->isFinished()) {
            captureMetaData(reply.get(), result);
            result.timedOut = true;
            result.error = QStringLiteral("timed out after %1 ms").arg(request.timeout.count());
            reply->abort();
            return result;
        }
        if (result.bodyTruncated)
            return result;
        readBody(); // whatever is still buffered after the last readyRead
        if (result.bodyTruncated)
            return result;
        captureMetaData(reply.get(), result);
        // An HTTP status is the server's answer, whatever it is, and Qt reports the ones of 400
        // and above as errors too; any other error means the exchange broke off, even after a
        // status arrived (an answer cut short before its stated length, a protocol failure).
        if (reply->error() != QNetworkReply::NoError && (result.statusCode == 0 || !isStatusError(reply->error()))) {
            result.error = reply->errorString();
            return result;
        }

        const int status = result.statusCode;
        const bool isRedirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
        const QByteArray location = reply->rawHeader("Location");
        if (!isRedirect || location.isEmpty())
            return result;

        const QUrl target = url.resolved(QUrl::fromEncoded(location));
        if (!isWebScheme(target)) {
            result.redirectRefused = true;
            result.error = QStringLiteral("redirect to a non-HTTP URL refused: %1").arg(target.toDisplayString());
            return result;
        }
        // What is sent (a 307 or 308 repeats the body) never goes to a server the caller did not
        // choose.
        if (!isSameOrigin(request.url, target)) {
            result.redirectRefused = true;
            result.error = QStringLiteral("redirect to another origin refused: %1").arg(target.toDisplayString());
            return result;
        }
        if (hop >= request.maxRedirects) {
            result.redirectRefused = true;
            result.error = QStringLiteral("more than %1 redirects").arg(request.maxRedirects);
            return result;
        }
        // As browsers do: 307 and 308 repeat the request, the others fetch the new place.
        if (status != 307 && status != 308 && method != "HEAD") {
            method = "GET";
            body.clear();
        }
        url = target;
    }
}

} // namespace platform
