#pragma once

// A platform error object: what a failing platform call hands back (a code in a domain, with
// human-readable texts). Plain value; any thread.

#include <QString>
#include <QVariantMap>

namespace platform {

struct Error {
    int code { 0 };
    QString domain;
    QString localizedDescription;
    QString localizedFailureReason;
    QVariantMap userInfo;
};

} // namespace platform
