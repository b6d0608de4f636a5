#include "SvgPointMap.h"

#include <algorithm>
#include <cmath>

#include "ChartFrame.h"
#include "HtmlEscape.h"

namespace collector {

bool SvgPointMap::add(double latitude, double longitude, double weight, const QString& hint)
{
    if (!(std::abs(latitude) <= 90) || !(std::abs(longitude) <= 180))
        return false;
    m_points.append({ latitude, longitude, std::isfinite(weight) ? std::max(0.0, weight) : 0.0, hint });
    return true;
}

QString SvgPointMap::svg(const QString& caption) const
{
    QString svg = ChartFrame::start(360, 180, caption)
        + QLatin1String("<rect class=\"sea\" width=\"360\" height=\"180\"/>");
    for (int longitude = 30; longitude < 360; longitude += 30)
        svg += QStringLiteral("<line class=\"grid\" x1=\"%1\" y1=\"0\" x2=\"%1\" y2=\"180\"/>")
                   .arg(longitude);
    for (int latitude = 30; latitude < 180; latitude += 30)
        svg += QStringLiteral("<line class=\"%2\" x1=\"0\" y1=\"%1\" x2=\"360\" y2=\"%1\"/>")
                   .arg(QString::number(latitude), QLatin1String(latitude == 90 ? "equator" : "grid"));
    double most = 0;
    for (const Point& point : m_points)
        most = std::max(most, point.weight);
    // Heaviest first: the small places drawn after them stay visible on top.
    QList<Point> points = m_points;
    std::stable_sort(
        points.begin(), points.end(), [](const Point& a, const Point& b) { return a.weight > b.weight; });
    for (const Point& point : points) {
        const double radius = 1.2 + 5 * std::sqrt(most > 0 ? point.weight / most : 0);
        svg += QStringLiteral(
            "<circle class=\"place\" cx=\"%1\" cy=\"%2\" r=\"%3\"><title>%4</title></circle>")
                   .arg(ChartFrame::number(point.longitude + 180), ChartFrame::number(90 - point.latitude),
                       ChartFrame::number(radius), htmlEscape(point.hint));
    }
    return svg + QLatin1String("</svg>");
}

} // namespace collector
