#pragma once

// The blocking HTTP request of the uploads: performs one exchange on the calling thread and
// returns the answer. No cache, no cookies, one time-out for the whole exchange, redirects only within
// the server's origin (at most 5), answer bodies cut at 1 MiB. Any thread, several at once.

#include <chrono>

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QUrl>

#include "analytics/TallyHTTPResponse.h"

namespace analytics {

class TallyHTTPEater {
public:
    TallyHTTPEater() = delete;

    static constexpr qint64 kMaxAnswerBytes = 1024 * 1024;
    static constexpr int kMaxRedirects = 5;

    // `timeoutInterval` in whole seconds. `useWebView` selects a transport this system does not
    // have; the request goes over plain HTTP either way.
    static TallyHTTPResponse sendMethod(const QString& method, const QUrl& url, const QByteArray& body,
        const QMap<QString, QString>& headerFields, int timeoutInterval, bool useWebView);
    // The same with a finer time-out (tests use fractions of a second).
    static TallyHTTPResponse sendMethod(const QString& method, const QUrl& url, const QByteArray& body,
        const QMap<QString, QString>& headerFields, std::chrono::milliseconds timeout);
};

} // namespace analytics
