#include "analytics/TallyHTTPResponse.h"

#include <cstdint>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "analytics/TallyDataFolder.h"
#include "analytics/TallyPaths.h"
#include "platform/system/AtomicFileWriter.h"
#include "platform/system/HttpClient.h"

namespace analytics {

namespace {

constexpr qint64 kMaxSavedAnswerBytes = 16 * 1024 * 1024;
const QString kStatusCodeKey = QStringLiteral("statusCode");
const QString kBodyKey = QStringLiteral("body");
const QString kHeadersKey = QStringLiteral("headers");
constexpr int kMaxPlistDepth = 16;

// Reads the value whose start element the reader is on, up to and including its end element.
// Property-list types become QVariant: dict → QVariantMap, array → QVariantList, integer →
// qlonglong, real → double, true/false → bool, data → QByteArray, string and date → QString.
// Absent for anything else, or for a value that does not parse.
std::optional<QVariant> readPlistValue(QXmlStreamReader& reader, int depth)
{
    const QString type = reader.name().toString();
    if (type == QLatin1String("dict") || type == QLatin1String("array")) {
        if (depth >= kMaxPlistDepth)
            return std::nullopt;
        QVariantMap map;
        QVariantList list;
        while (reader.readNextStartElement()) {
            QString key;
            if (type == QLatin1String("dict")) {
                if (reader.name() != QLatin1String("key"))
                    return std::nullopt;
                key = reader.readElementText();
                if (!reader.readNextStartElement())
                    return std::nullopt;
            }
            const auto value = readPlistValue(reader, depth + 1);
            if (!value)
                return std::nullopt;
            if (type == QLatin1String("dict"))
                map.insert(key, *value);
            else
                list.append(*value);
        }
        if (reader.hasError())
            return std::nullopt;
        return type == QLatin1String("dict") ? QVariant(map) : QVariant(list);
    }
    if (type == QLatin1String("true") || type == QLatin1String("false")) {
        reader.skipCurrentElement();
        return QVariant(type == QLatin1String("true"));
    }
    const QString text = reader.readElementText();
    if (reader.hasError())
        return std::nullopt;
    bool ok = false;
    if (type == QLatin1String("integer")) {
        const qlonglong value = text.trimmed().toLongLong(&ok);
        return ok ? std::optional<QVariant>(value) : std::nullopt;
    }
    if (type == QLatin1String("real")) {
        const double value = text.trimmed().toDouble(&ok);
        return ok ? std::optional<QVariant>(value) : std::nullopt;
    }
    if (type == QLatin1String("data")) {
        const auto decoded = QByteArray::fromBase64Encoding(text.toLatin1().simplified().replace(' ', ""));
        return decoded ? std::optional<QVariant>(decoded.decoded) : std::nullopt;
    }
    if (type == QLatin1String("string") || type == QLatin1String("date"))
        return QVariant(text);
    return std::nullopt;
}

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
    QByteArray xml;
    QXmlStreamWriter writer(&xml);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("plist"));
    writer.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    writer.writeStartElement(QStringLiteral("dict"));
    writer.writeTextElement(QStringLiteral("key"), kStatusCodeKey);
    writer.writeTextElement(QStringLiteral("integer"), QString::number(m_statusCode));
    writer.writeTextElement(QStringLiteral("key"), kBodyKey);
    writer.writeTextElement(QStringLiteral("data"), QString::fromLatin1(m_body.toBase64()));
    writer.writeTextElement(QStringLiteral("key"), kHeadersKey);
    writer.writeStartElement(QStringLiteral("dict"));
    for (auto it = m_headers.cbegin(); it != m_headers.cend(); ++it) {
        writer.writeTextElement(QStringLiteral("key"), it.key());
        writer.writeTextElement(QStringLiteral("string"), it.value());
    }
    writer.writeEndElement(); // headers
    writer.writeEndElement(); // dict
    writer.writeEndElement(); // plist
    writer.writeEndDocument();
    return xml;
}

QString TallyHTTPResponse::saveToDisk() const
{
    QString path = filePath(QDateTime::currentSecsSinceEpoch());
    if (!TallyDataFolder::makeFolder(TallyPaths::documentsDirectory()))
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
    QXmlStreamReader reader(bytes);
    if (!reader.readNextStartElement() || reader.name() != QLatin1String("plist")
        || !reader.readNextStartElement())
        return std::nullopt;
    const std::optional<QVariant> root = readPlistValue(reader, 0);
    if (!root || reader.hasError() || root->typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap answer = root->toMap();
    const QVariant status = answer.value(kStatusCodeKey);
    if (status.typeId() != QMetaType::LongLong || status.toLongLong() < INT32_MIN
        || status.toLongLong() > INT32_MAX)
        return std::nullopt;
    Headers headers;
    const QVariantMap map = answer.value(kHeadersKey).toMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.value().typeId() == QMetaType::QString)
            headers.insert(it.key(), it.value().toString());
    }
    const QVariant body = answer.value(kBodyKey);
    return TallyHTTPResponse(body.typeId() == QMetaType::QByteArray ? body.toByteArray() : QByteArray(),
        int(status.toLongLong()), std::move(headers), QString());
}

QString TallyHTTPResponse::filePath(qint64 secondsSince1970)
{
    return QDir(TallyPaths::documentsDirectory())
        .filePath(QStringLiteral("tallyResponse%1").arg(secondsSince1970));
}

} // namespace analytics
