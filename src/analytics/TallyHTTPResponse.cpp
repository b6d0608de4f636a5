#include "analytics/TallyHTTPResponse.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include "analytics/TallyPaths.h"
#include "platform/system/AtomicFileWriter.h"
#include "platform/system/HttpClient.h"
#include "platform/system/KeyedArchive.h"

namespace analytics {

namespace {

constexpr qint64 kMaxSavedAnswerBytes = 16 * 1024 * 1024;
const QString kStatusCodeKey = QStringLiteral("statusCode");
const QString kBodyKey = QStringLiteral("body");
const QString kHeadersKey = QStringLiteral("headers");

} // namespace

TallyHTTPResponse::TallyHTTPResponse(QByteArray body, int statusCode, Headers headers, QString error)
    : m_body(std::move(body))
    , m_statusCode(statusCode)
    , m_error(std::move(error))
    , m_headers(std::move(headers))
{
}

TallyHTTPResponse TallyHTTPResponse::fromResult(const platform::HttpResult& result)
{
    Headers headers;
    for (const auto& [name, value] : result.headers)
        headers.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    return TallyHTTPResponse(result.body, result.statusCode, std::move(headers), result.error);
}

QString TallyHTTPResponse::description() const
{
    return QStringLiteral("status:%1 error:%2 body:%3")
        .arg(m_statusCode)
        .arg(m_error.isEmpty() ? QStringLiteral("(null)") : m_error, QString::fromUtf8(m_body));
}

QByteArray TallyHTTPResponse::savedCopy() const
{
    platform::KeyedArchive archive;
    archive.encodeInt32(kStatusCodeKey, m_statusCode);
    archive.encodeBytes(kBodyKey, m_body);
    QCborMap headers;
    for (auto it = m_headers.cbegin(); it != m_headers.cend(); ++it)
        headers.insert(it.key(), it.value());
    archive.encodeMap(kHeadersKey, headers);
    return platform::KeyedArchive::archive(archive.toValue());
}

QString TallyHTTPResponse::saveToDisk() const
{
    const QString path = filePath(QDateTime::currentSecsSinceEpoch());
    if (!platform::AtomicFileWriter::ensureDirectory(TallyPaths::documentsDirectory()))
        return {};
    if (!platform::AtomicFileWriter::write(path, savedCopy()))
        return {};
    return path;
}

std::optional<TallyHTTPResponse> TallyHTTPResponse::readFromURL(const QUrl& url)
{
    if (!url.isLocalFile())
        return std::nullopt;
    QFile file(url.toLocalFile());
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxSavedAnswerBytes)
        return std::nullopt;
    const QByteArray bytes = file.read(kMaxSavedAnswerBytes + 1);
    if (bytes.size() > kMaxSavedAnswerBytes)
        return std::nullopt;
    return fromSavedCopy(bytes);
}

std::optional<TallyHTTPResponse> TallyHTTPResponse::fromSavedCopy(const QByteArray& bytes)
{
    const auto root = platform::KeyedArchive::unarchive(bytes);
    if (!root)
        return std::nullopt;
    const auto archive = platform::KeyedArchive::fromValue(*root);
    if (!archive)
        return std::nullopt;
    const auto status = archive->decodeInt32(kStatusCodeKey);
    if (!status)
        return std::nullopt;
    Headers headers;
    const QCborMap map = archive->decodeMap(kHeadersKey).value_or(QCborMap());
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.key().isString() && it.value().isString())
            headers.insert(it.key().toString(), it.value().toString());
    }
    return TallyHTTPResponse(archive->decodeBytes(kBodyKey).value_or(QByteArray()), *status,
                             std::move(headers), QString());
}

QString TallyHTTPResponse::filePath(qint64 secondsSince1970)
{
    return QDir(TallyPaths::documentsDirectory()).filePath(QStringLiteral("tallyResponse%1").arg(secondsSince1970));
}

} // namespace analytics
