#pragma once

// Reads an analytics report (or one session record) back into JSON, checking every length and
// count against the bytes that are there. It is how tests and people see what the layer sends.
//
// Report JSON: formatVersion, requestAds, contentCacheTimestamp, cachedContentIds, deviceFamily,
// agentVersion, reportTime, apiKey, appVersion, phoneID (or tallyID as hex), initialTimestamp,
// sessionStartTime, deviceProperties {key: value}, sessions [...]. Session JSON: the record's
// fields by their session names, with events [{name, parameters, startOffset, duration}] and
// errors [{time, errorId, message, exception}]. Timestamps and durations are integer
// milliseconds (timestamps since 1970-01-01 UTC; 0 means absent); an absent age is null.
// Pure functions; any thread.

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace analytics {

class TallyReportDecoder {
public:
    struct Result {
        QJsonObject json;
        QString error; // one line; null on success

        bool ok() const { return error.isNull(); }
    };

    TallyReportDecoder() = delete;

    // A whole report; bytes left over after the last record are an error.
    static Result decodeReport(const QByteArray& bytes);
    // One session record that fills `bytes` exactly (the form the saved sessions keep).
    static Result decodeSessionRecord(const QByteArray& bytes);
};

} // namespace analytics
