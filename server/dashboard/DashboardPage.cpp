#include "DashboardPage.h"

#include <algorithm>
#include <cmath>

#include <QJsonArray>
#include <QMap>

#include "HtmlEscape.h"
#include "SvgBarChart.h"
#include "SvgLineChart.h"
#include "SvgPointMap.h"

namespace collector {

namespace {

// Categories beyond this are summed into one row, so a long tail of models cannot make the page
// endless; likewise the error groups and places listed.
constexpr qsizetype categoryRows = 12;
constexpr qsizetype errorRows = 100;
constexpr qsizetype placeRows = 10;

// Only inline CSS: no script may run, nothing is fetched (the policy says so to the browser too).
constexpr const char* styleSheet = R"css(
:root{color-scheme:light dark;--fg:#1b2229;--bg:#eef1f4;--card:#fff;--muted:#5a6673;--grid:#d3d9df;--bar:#2e6db0;--sea:#e6eef6;--land:#cfd8e0}
@media (prefers-color-scheme:dark){:root{--fg:#e4e8ec;--bg:#12161a;--card:#1c2227;--muted:#9aa6b2;--grid:#36414b;--bar:#5b9be0;--sea:#16222e;--land:#2b3640}}
*{box-sizing:border-box}
body{margin:0;font:15px/1.4 system-ui,-apple-system,"Segoe UI",sans-serif;color:var(--fg);background:var(--bg)}
header{padding:12px 16px;background:var(--card);border-bottom:1px solid var(--grid)}
h1{font-size:1.25rem;margin:0 0 8px}
h2{font-size:1rem;margin:0 0 8px}
form{display:flex;flex-wrap:wrap;gap:8px 12px;align-items:flex-end}
label{display:flex;flex-direction:column;font-size:.8rem;color:var(--muted)}
input,select,button{font:inherit;color:inherit;min-height:2.25rem;padding:4px 8px;border:1px solid var(--grid);border-radius:6px;background:var(--card)}
button{background:var(--bar);color:#fff;border:none;padding:4px 16px}
main{display:grid;gap:12px;padding:12px;grid-template-columns:repeat(auto-fill,minmax(min(100%,23rem),1fr))}
section{background:var(--card);border-radius:8px;padding:12px;min-width:0}
.wide{grid-column:1/-1}
.tiles{display:grid;gap:8px;grid-template-columns:repeat(auto-fit,minmax(8rem,1fr))}
.tile b{display:block;font-size:1.4rem;font-variant-numeric:tabular-nums}
.tile span,.muted{color:var(--muted);font-size:.8rem}
svg{display:block;width:100%;height:auto;font-size:12px}
svg text{fill:var(--muted)}
svg text.label{fill:var(--fg)}
.grid{stroke:var(--grid);stroke-width:.5}
.equator{stroke:var(--muted);stroke-width:.5}
.sea{fill:var(--sea)}
.land{fill:var(--land)}
.bar{fill:var(--bar)}
.place{fill:var(--bar);fill-opacity:.6;stroke:var(--card);stroke-width:.3}
polyline{stroke-width:2;stroke-linejoin:round}
table{width:100%;border-collapse:collapse;font-size:.875rem}
th,td{padding:4px 6px;border-bottom:1px solid var(--grid);text-align:left;vertical-align:top}
th{color:var(--muted);font-weight:600}
.n{text-align:right;font-variant-numeric:tabular-nums;white-space:nowrap}
.message{overflow-wrap:anywhere}
.when{text-align:right;font-variant-numeric:tabular-nums}
.scroll{overflow-x:auto}
.empty{color:var(--muted);font-style:italic;margin:24px 0;text-align:center}
.legend{list-style:none;padding:0;margin:8px 0 0;display:flex;flex-wrap:wrap;gap:4px 16px;font-size:.875rem}
.legend li{overflow-wrap:anywhere}
.key{display:inline-block;width:.8em;height:.8em;border-radius:2px;margin-right:6px}
.s0{stroke:#2e6db0;fill:#2e6db0}.k0{background:#2e6db0}
.s1{stroke:#d9822b;fill:#d9822b}.k1{background:#d9822b}
.s2{stroke:#3a9d5d;fill:#3a9d5d}.k2{background:#3a9d5d}
.s3{stroke:#c23b4e;fill:#c23b4e}.k3{background:#c23b4e}
.s4{stroke:#7f5fbf;fill:#7f5fbf}.k4{background:#7f5fbf}
.s5{stroke:#8c6d46;fill:#8c6d46}.k5{background:#8c6d46}
.s6{stroke:#d061a6;fill:#d061a6}.k6{background:#d061a6}
.s7{stroke:#6f7c88;fill:#6f7c88}.k7{background:#6f7c88}
)css";

QString text(const QJsonObject& object, const char* key)
{
    return object[QLatin1String(key)].toString();
}

// A count as the page shows it: whole, not negative, and short enough to print.
double count(const QJsonValue& value)
{
    const double number = value.toDouble();
    return std::isfinite(number) && number > 0 ? std::round(std::min(number, 1e15)) : 0;
}

QString countText(double value)
{
    return QString::number(value, 'f', 0);
}

QJsonArray array(const QJsonObject& object, const char* key)
{
    return object[QLatin1String(key)].toArray();
}

// 75 → "1 min 15 s"; null → "–".
QString duration(const QJsonValue& seconds)
{
    if (!seconds.isDouble() || !std::isfinite(seconds.toDouble()) || seconds.toDouble() < 0)
        return QStringLiteral("–");
    const qint64 s = qint64(std::llround(seconds.toDouble()));
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60);
}

// A bucket bound, short enough for a slot: 45 s, 5 m, 2 h.
QString bound(double seconds)
{
    if (seconds < 60)
        return QString::number(seconds, 'g', 3) + QLatin1Char('s');
    if (seconds < 3600)
        return QString::number(seconds / 60, 'g', 3) + QLatin1Char('m');
    return QString::number(seconds / 3600, 'g', 3) + QLatin1Char('h');
}

// A day on the axis: "2026-12-07" → "12-07"; anything else as it is.
QString dayLabel(const QString& date)
{
    return date.size() == 10 && date[4] == u'-' ? date.mid(5) : date;
}

QString noData()
{
    return QStringLiteral("<p class=\"empty\">No data</p>");
}

QString section(const QString& title, const QString& body, bool wide = false)
{
    return QStringLiteral("<section%1><h2>%2</h2>%3</section>")
        .arg(QLatin1String(wide ? " class=\"wide\"" : ""), title, body);
}

QString tile(const QString& value, const QString& name)
{
    return QStringLiteral("<div class=\"tile\"><b>%1</b><span>%2</span></div>").arg(value, name);
}

QString filterForm(const QJsonObject& dashboard)
{
    const QString chosen = text(dashboard, "version");
    QStringList versions;
    for (const QJsonValue& version : array(dashboard, "versions"))
        if (!version.toString().isEmpty())
            versions.append(version.toString());
    if (!chosen.isEmpty() && !versions.contains(chosen))
        versions.prepend(chosen);
    QString options = QStringLiteral("<option value=\"\">All versions</option>");
    for (const QString& version : versions)
        options += QStringLiteral("<option value=\"%1\"%2>%1</option>")
                       .arg(htmlEscape(version),
                           QLatin1String(version == chosen ? " selected=\"selected\"" : ""));
    return QStringLiteral("<form method=\"get\">"
                          "<label>From<input type=\"date\" name=\"from\" value=\"%1\"/></label>"
                          "<label>To<input type=\"date\" name=\"to\" value=\"%2\"/></label>"
                          "<label>App version<select name=\"version\">%3</select></label>"
                          "<button type=\"submit\">Show</button></form>")
        .arg(htmlEscape(text(dashboard, "from")), htmlEscape(text(dashboard, "to")), options);
}

QString tiles(const QJsonObject& dashboard)
{
    const QJsonObject lengths = dashboard[QLatin1String("sessionLengthSeconds")].toObject();
    return QStringLiteral("<section class=\"wide\"><div class=\"tiles\">%1%2%3%4%5%6</div></section>")
        .arg(tile(countText(count(dashboard[QLatin1String("reports")])), QStringLiteral("reports")),
            tile(countText(count(dashboard[QLatin1String("sessions")])), QStringLiteral("sessions")),
            tile(countText(count(dashboard[QLatin1String("devices")])), QStringLiteral("devices")),
            tile(countText(count(dashboard[QLatin1String("errors")])), QStringLiteral("errors")),
            tile(duration(lengths[QLatin1String("median")]), QStringLiteral("median session")),
            tile(duration(lengths[QLatin1String("p90")]), QStringLiteral("90th percentile session")));
}

QString perDay(const QJsonArray& days, const char* key, const QString& caption, const QString& unit)
{
    SvgBarChart chart(SvgBarChart::Orientation::Columns);
    for (const QJsonValue& day : days) {
        const QString date = text(day.toObject(), "date");
        const double value = count(day[QLatin1String(key)]);
        chart.add(dayLabel(date), value, date + QLatin1String(": ") + countText(value) + unit);
    }
    return chart.isEmpty() ? noData() : chart.svg(caption);
}

QString sessionLengths(const QJsonArray& buckets)
{
    SvgBarChart chart(SvgBarChart::Orientation::Columns);
    for (const QJsonValue& bucket : buckets) {
        const double from = count(bucket[QLatin1String("fromSeconds")]);
        const QJsonValue to = bucket[QLatin1String("toSeconds")];
        // A column is labelled by where its bucket starts; the hint gives the whole range.
        const QString range
            = to.isDouble() ? bound(from) + QChar(u'–') + bound(count(to)) : QChar(u'≥') + bound(from);
        const double sessions = count(bucket[QLatin1String("sessions")]);
        chart.add(to.isDouble() ? bound(from) : range, sessions,
            range + QLatin1String(": ") + countText(sessions) + QLatin1String(" sessions"));
    }
    return chart.isEmpty() ? noData() : chart.svg(QStringLiteral("Session lengths"));
}

QString eventsPerDay(const QJsonArray& days, const QJsonArray& events)
{
    QStringList dates;
    for (const QJsonValue& day : days)
        dates.append(text(day.toObject(), "date"));
    QMap<QString, QMap<QString, double>> byName; // name → date → count
    QMap<QString, double> totals;
    for (const QJsonValue& event : events) {
        const QString date = text(event.toObject(), "date");
        const QString name = text(event.toObject(), "name");
        byName[name][date] += count(event[QLatin1String("count")]);
        totals[name] += count(event[QLatin1String("count")]);
        if (!dates.contains(date))
            dates.append(date);
    }
    std::sort(dates.begin(), dates.end());
    QStringList names = totals.keys();
    std::stable_sort(names.begin(), names.end(),
        [&](const QString& a, const QString& b) { return totals[a] > totals[b]; });

    QStringList labels;
    for (const QString& date : dates)
        labels.append(dayLabel(date));
    SvgLineChart chart(labels);
    for (const QString& name : names) {
        QList<double> values;
        for (const QString& date : dates)
            values.append(byName[name].value(date));
        chart.addSeries(name, values);
    }
    if (chart.isEmpty())
        return noData();
    QString body = chart.svg(QStringLiteral("Events per day")) + chart.legend();
    if (names.size() > SvgLineChart::palette)
        body += QStringLiteral("<p class=\"muted\">%1 less frequent events not drawn</p>")
                    .arg(names.size() - SvgLineChart::palette);
    return body;
}

QString errorTable(const QJsonArray& groups)
{
    if (groups.isEmpty())
        return noData();
    QString rows;
    for (qsizetype i = 0; i < std::min(groups.size(), errorRows); ++i) {
        const QJsonObject group = groups[i].toObject();
        rows += QStringLiteral(
            "<tr><td class=\"message\">%1</td><td class=\"n\">%2</td><td class=\"when\">%3</td></tr>")
                    .arg(htmlEscape(text(group, "message")), countText(count(group[QLatin1String("count")])),
                        htmlEscape(text(group, "lastSeen").replace(u'T', u' ')));
    }
    QString more;
    if (groups.size() > errorRows)
        more = QStringLiteral("<p class=\"muted\">and %1 more messages</p>").arg(groups.size() - errorRows);
    return QStringLiteral("<div class=\"scroll\"><table><thead><tr><th>Message</th><th "
                          "class=\"n\">Count</th><th class=\"when\">Last seen</th>"
                          "</tr></thead><tbody>%1</tbody></table></div>%2")
        .arg(rows, more);
}

// The most frequent first; the rest in one "other" row.
QString categories(const QJsonArray& values, const QString& caption)
{
    QList<std::pair<QString, double>> rows;
    for (const QJsonValue& value : values)
        rows.append({ text(value.toObject(), "value"), count(value[QLatin1String("sessions")]) });
    std::stable_sort(
        rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    SvgBarChart chart(SvgBarChart::Orientation::Rows);
    double rest = 0;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (i < categoryRows)
            chart.add(rows[i].first.isEmpty() ? QStringLiteral("(unknown)") : rows[i].first, rows[i].second,
                rows[i].first + QLatin1String(": ") + countText(rows[i].second) + QLatin1String(" sessions"));
        else
            rest += rows[i].second;
    }
    if (rows.size() > categoryRows)
        chart.add(QStringLiteral("%1 others").arg(rows.size() - categoryRows), rest);
    return chart.isEmpty() ? noData() : chart.svg(caption);
}

QString locations(const QJsonArray& places)
{
    QList<std::tuple<double, double, double>> shown; // latitude, longitude, sessions
    SvgPointMap map;
    for (const QJsonValue& place : places) {
        const double latitude = place[QLatin1String("latitude")].toDouble(NAN);
        const double longitude = place[QLatin1String("longitude")].toDouble(NAN);
        const double sessions = count(place[QLatin1String("sessions")]);
        const QString where
            = QString::number(latitude, 'f', 1) + QStringLiteral(", ") + QString::number(longitude, 'f', 1);
        if (map.add(latitude, longitude, sessions,
                where + QLatin1String(": ") + countText(sessions) + QLatin1String(" sessions")))
            shown.append({ latitude, longitude, sessions });
    }
    if (map.isEmpty())
        return noData();
    std::stable_sort(shown.begin(), shown.end(),
        [](const auto& a, const auto& b) { return std::get<2>(a) > std::get<2>(b); });
    QString rows;
    for (qsizetype i = 0; i < std::min(shown.size(), placeRows); ++i) {
        const auto& [latitude, longitude, sessions] = shown[i];
        rows += QStringLiteral(
            "<tr><td class=\"n\">%1</td><td class=\"n\">%2</td><td class=\"n\">%3</td></tr>")
                    .arg(QString::number(latitude, 'f', 1), QString::number(longitude, 'f', 1),
                        countText(sessions));
    }
    return map.svg(QStringLiteral("Coarse locations"))
        + QStringLiteral("<table><thead><tr><th class=\"n\">Latitude</th><th class=\"n\">Longitude</th>"
                         "<th class=\"n\">Sessions</th></tr></thead><tbody>%1</tbody></table>")
              .arg(rows);
}

} // namespace

QByteArray DashboardPage::render(const QJsonObject& dashboard)
{
    const QJsonArray days = array(dashboard, "days");
    const QString version = text(dashboard, "version");
    const QString range = QStringLiteral("%1 to %2, %3")
                              .arg(htmlEscape(text(dashboard, "from")), htmlEscape(text(dashboard, "to")),
                                  version.isEmpty() ? QStringLiteral("all versions")
                                                    : QStringLiteral("version ") + htmlEscape(version));

    QString page
        = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"/>"
                         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>"
                         "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
                         "style-src 'unsafe-inline'; "
                         "img-src data:; form-action 'self'; base-uri 'none'\"/>"
                         "<link rel=\"icon\" href=\"data:,\"/><title>Lumivue collector</title><style>");
    page += QLatin1String(styleSheet);
    page += QStringLiteral(
        "</style></head><body><header><h1>Lumivue collector</h1>%1<p class=\"muted\">%2</p></header><main>")
                .arg(filterForm(dashboard), range);
    page += tiles(dashboard);
    page += section(QStringLiteral("Sessions per day"),
        perDay(days, "sessions", QStringLiteral("Sessions per day"), QStringLiteral(" sessions")));
    page += section(QStringLiteral("Unique devices per day"),
        perDay(days, "devices", QStringLiteral("Unique devices per day"), QStringLiteral(" devices")));
    page += section(QStringLiteral("Session lengths"), sessionLengths(array(dashboard, "sessionLengths")));
    page += section(QStringLiteral("Events per day"), eventsPerDay(days, array(dashboard, "eventsPerDay")));
    page += section(QStringLiteral("App versions"),
        categories(array(dashboard, "appVersions"), QStringLiteral("App versions")));
    page += section(QStringLiteral("Device models"),
        categories(array(dashboard, "deviceModels"), QStringLiteral("Device models")));
    page += section(
        QStringLiteral("Locales"), categories(array(dashboard, "locales"), QStringLiteral("Locales")));
    page += section(QStringLiteral("Time zones"),
        categories(array(dashboard, "timeZones"), QStringLiteral("Time zones")));
    page += section(QStringLiteral("Coarse locations"), locations(array(dashboard, "locations")));
    page += section(QStringLiteral("Errors"), errorTable(array(dashboard, "errorGroups")), true);
    page += QLatin1String("</main></body></html>\n");
    return page.toUtf8();
}

} // namespace collector
