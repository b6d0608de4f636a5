#pragma once

// The collector's dashboard as one HTML page with its charts drawn as inline SVG on the server, so
// it needs no script and no network. It is rendered from the JSON that GET /api/dashboard answers:
//
// {"from":"YYYY-MM-DD", "to":"YYYY-MM-DD", "version":"" (the app-version filter; "" = all),
//  "versions":["1.2", ...],                       every app version stored, for the filter
//  "reports":N, "sessions":N, "devices":N, "errors":N,
//  "sessionLengthSeconds":{"median":X, "p90":Y},
//  "days":[{"date":"YYYY-MM-DD", "sessions":N, "devices":N}, ...],       every day of the range
//  "sessionLengths":[{"fromSeconds":A, "toSeconds":B, "sessions":N}, ...],  B null on the last
//  "eventsPerDay":[{"date":"YYYY-MM-DD", "name":"TAKE_PICTURE", "count":N}, ...],
//  "errorGroups":[{"message":"...", "count":N, "lastSeen":"YYYY-MM-DDTHH:MM:SSZ"}, ...],
//  "appVersions":[{"value":"1.2", "sessions":N}, ...],   likewise "deviceModels", "locales",
//  "timeZones"
//  "locations":[{"latitude":52.5, "longitude":13.4, "sessions":N}, ...]}  rounded to 0.1 degree

#include <QByteArray>
#include <QJsonObject>

namespace collector {

class DashboardPage {
public:
    DashboardPage() = delete;

    static QByteArray render(const QJsonObject& dashboard);
};

} // namespace collector
