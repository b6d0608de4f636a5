// The collector's ingest mapping: any bytes the decoder accepts become rows the database can hold
// (no NUL in any text, a hashed device key, each session once, counts and positions in range),
// or are refused with one line.

#include <cstdint>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include "ReportRows.h"
#include "analytics/TallyReportDecoder.h"
#include "support/FuzzCheck.h"

using collector::ReportRows;

namespace {

bool storable(const QString& text)
{
    return !text.contains(QChar(u'\0'));
}

void checkSession(const ReportRows::Session& session)
{
    FUZZ_CHECK(session.lengthMs >= 0 && session.errorCount >= session.errors.size() && session.pageViews >= 0,
        "lengths and counts are not negative, the error count covers the logged errors");
    FUZZ_CHECK(session.latitudeTenths.has_value() == session.longitudeTenths.has_value()
            && (!session.latitudeTenths
                || (std::abs(*session.latitudeTenths) <= 900 && std::abs(*session.longitudeTenths) <= 1800)),
        "a position is whole and on the globe, or absent");
    FUZZ_CHECK(session.day.isEmpty() || session.day.size() >= 10, "the day is a date");
    FUZZ_CHECK(storable(session.appVersion) && storable(session.locale) && storable(session.timeZone),
        "session texts hold no NUL");
    for (auto it = session.eventCounts.cbegin(); it != session.eventCounts.cend(); ++it)
        FUZZ_CHECK(storable(it.key()) && it.value() >= 0, "event counts are named without NUL, not negative");
    for (const ReportRows::Event& event : session.events) {
        FUZZ_CHECK(storable(event.name) && storable(event.parameters), "events hold no NUL");
        FUZZ_CHECK(
            QJsonDocument::fromJson(event.parameters.toUtf8()).isObject(), "parameters are a JSON object");
    }
    for (const ReportRows::Error& error : session.errors)
        FUZZ_CHECK(storable(error.errorId) && storable(error.message) && storable(error.exception),
            "errors hold no NUL");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto decoded = analytics::TallyReportDecoder::decodeReport(bytes);
    if (!decoded.ok())
        return 0;
    QString error;
    const auto rows = ReportRows::fromReport(decoded.json, &error);
    if (!rows) {
        FUZZ_CHECK(!error.isEmpty() && !error.contains(QLatin1Char('\n')), "a refusal is one line");
        return 0;
    }
    FUZZ_CHECK(rows->device.size() == 64 && storable(rows->model) && storable(rows->appVersion)
            && storable(rows->deviceProperties),
        "the device is a SHA-256 key and the report's texts hold no NUL");
    QSet<qint64> starts;
    for (const ReportRows::Session& session : rows->sessions) {
        FUZZ_CHECK(!starts.contains(session.startTimeMs), "a session is stored once per report");
        starts.insert(session.startTimeMs);
        checkSession(session);
    }
    return 0;
}
