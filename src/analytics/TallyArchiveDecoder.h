#pragma once

// Reads the layer's archive files back into JSON (`lumivue-report archive`, tests):
//  - a current-session file: {"kind": "session", "session": {the archived keys}};
//  - a saved-sessions file: {"kind": "savedSessions", "sessions": [each record decoded as the
//    report decoder does]};
//  - an initial-timestamp file: {"kind": "initialTimestamp", "initialTimestamp": ms}.
// Dates are integer milliseconds since 1970 UTC; absent values are left out. Anything else —
// not an archive, a session of an unknown archive version, a record that does not decode — is an
// error of one line. Pure functions; any thread.

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include "analytics/TallySessionState.h"

namespace analytics {

class TallyArchiveDecoder {
public:
    struct Result {
        QJsonObject json;
        QString error; // null on success
        bool ok() const { return error.isNull(); }
    };

    TallyArchiveDecoder() = delete;

    static Result decode(const QByteArray& bytes);
    static QJsonObject sessionToJson(const TallySessionState& state);
};

} // namespace analytics
