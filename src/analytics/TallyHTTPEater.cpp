#include "analytics/TallyHTTPEater.h"

#include "analytics/TallyUtil.h"
#include "platform/system/HttpClient.h"

namespace analytics {

TallyHTTPResponse TallyHTTPEater::sendMethod(const QString& method, const QUrl& url, const QByteArray& body,
    const QMap<QString, QString>& headerFields, int timeoutInterval, bool useWebView)
{
    (void)useWebView;
    return sendMethod(method, url, body, headerFields, std::chrono::seconds(std::max(timeoutInterval, 0)));
}

TallyHTTPResponse TallyHTTPEater::sendMethod(const QString& method, const QUrl& url, const QByteArray& body,
    const QMap<QString, QString>& headerFields, std::chrono::milliseconds timeout)
{
    TallyUtil::debugLog(QStringLiteral("%1: %2").arg(method, url.toDisplayString()));
    platform::HttpRequest request;
    request.method = method.toLatin1();
    request.url = url;
    request.body = body;
    for (auto it = headerFields.cbegin(); it != headerFields.cend(); ++it)
        request.headers.append({ it.key().toLatin1(), it.value().toLatin1() });
    request.timeout = timeout;
    request.maxRedirects = kMaxRedirects;
    request.maxBodyBytes = kMaxAnswerBytes;
    TallyHTTPResponse response = TallyHTTPResponse::fromResult(platform::HttpClient::send(request));
    if (TallyUtil::isDebugLogEnabled()) {
        // The log gets the start of the body only; a whole answer can be a megabyte.
        const TallyHTTPResponse shown(response.body().left(512), response.statusCode(), {}, response.error());
        TallyUtil::debugLog(QStringLiteral("HTTP Response[%1]").arg(shown.description()));
    }
    return response;
}

} // namespace analytics
