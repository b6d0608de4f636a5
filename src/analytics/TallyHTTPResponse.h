#pragma once

// One answer of the collection server (or a replayed one): body, status (0 when no answer
// arrived), the transport error if any, and the headers. A status from 200 to 399 is a success,
// whatever else happened: the server took the report.
//
// Debug copies: `saveToDisk` writes the answer as an XML property list, a dict with
// "statusCode" (integer), "body" (data, base64) and "headers" (dict of strings), to
// "tallyResponse<seconds since 1970>" in the documents directory (TallyPaths); `readFromURL`
// reads such a file back (a hand-written one too), which is how a saved-response URL replays an
// answer without any network traffic. Plain value; any thread.

#include <optional>

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QUrl>

namespace platform {
struct HttpResult;
}

namespace analytics {

class TallyHTTPResponse {
public:
    using Headers = QMap<QString, QString>;

    TallyHTTPResponse() = default;
    TallyHTTPResponse(QByteArray body, int statusCode, Headers headers, QString error);
    // From a finished exchange (initWithResponse:body:error:).
    static TallyHTTPResponse fromResult(const platform::HttpResult& result);

    const QByteArray& body() const { return m_body; }
    int statusCode() const { return m_statusCode; }
    const QString& error() const { return m_error; } // empty when there was none
    const Headers& headers() const { return m_headers; }

    bool isSuccess() const { return m_statusCode >= 200 && m_statusCode < 400; }
    bool isError() const { return !isSuccess(); }
    // Whether the uploader takes the report as delivered: a success of an exchange that was not
    // cut short (refused redirect, oversized or unfinished answer). Anything else keeps the
    // records, to be sent again next time rather than risked.
    bool isDelivered() const { return isSuccess() && m_error.isEmpty(); }
    // "status:%d error:%@ body:%@"
    QString description() const;

    // Writes the debug copy; returns its path, or an empty string when it could not be written.
    QString saveToDisk() const;
    // Reads a debug copy from a local file URL. Absent when the URL is not a local file, the file
    // is missing or larger than 16 MiB, or it is not such a copy.
    static std::optional<TallyHTTPResponse> readFromURL(const QUrl& url);
    // The bytes of a debug copy, and back (absent when they are not one).
    QByteArray savedCopy() const;
    static std::optional<TallyHTTPResponse> fromSavedCopy(const QByteArray& bytes);
    static QString filePath(qint64 secondsSince1970);

private:
    QByteArray m_body;
    int m_statusCode { 0 };
    QString m_error;
    Headers m_headers;
};

} // namespace analytics
