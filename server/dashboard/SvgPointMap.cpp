#include "SvgPointMap.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <utility>

#include "ChartFrame.h"
#include "HtmlEscape.h"

namespace collector {

namespace {

// The land, coarsely (a few degrees): enough to tell the continents apart, small enough to inline.
// Longitude, latitude pairs of closed outlines.
constexpr std::initializer_list<std::initializer_list<std::pair<int, int>>> outlines = {
    // North America
    { { -168, 65 }, { -162, 70 }, { -140, 70 }, { -125, 70 }, { -95, 72 }, { -80, 73 }, { -62, 66 },
        { -55, 52 }, { -66, 45 }, { -70, 42 }, { -76, 35 }, { -81, 30 }, { -80, 25 }, { -83, 29 },
        { -90, 29 }, { -97, 27 }, { -97, 22 }, { -90, 21 }, { -87, 21 }, { -83, 15 }, { -78, 8 }, { -82, 8 },
        { -86, 12 }, { -92, 15 }, { -105, 20 }, { -110, 24 }, { -114, 31 }, { -118, 34 }, { -124, 40 },
        { -124, 48 }, { -133, 56 }, { -150, 60 }, { -165, 60 } },
    // Greenland
    { { -73, 78 }, { -60, 82 }, { -30, 83 }, { -20, 75 }, { -22, 70 }, { -40, 65 }, { -45, 60 }, { -52, 64 },
        { -58, 75 } },
    // South America
    { { -78, 8 }, { -72, 12 }, { -62, 11 }, { -52, 5 }, { -50, 0 }, { -35, -5 }, { -38, -13 }, { -40, -22 },
        { -48, -26 }, { -53, -34 }, { -58, -38 }, { -65, -42 }, { -68, -50 }, { -68, -55 }, { -74, -52 },
        { -74, -42 }, { -72, -30 }, { -71, -18 }, { -76, -14 }, { -81, -6 }, { -80, 0 } },
    // Europe and Asia
    { { -10, 36 }, { -9, 43 }, { -2, 44 }, { -5, 48 }, { 2, 51 }, { 8, 54 }, { 8, 57 }, { 5, 62 }, { 14, 68 },
        { 25, 71 }, { 40, 68 }, { 60, 70 }, { 80, 73 }, { 105, 78 }, { 140, 72 }, { 180, 69 }, { 180, 65 },
        { 170, 60 }, { 163, 58 }, { 157, 51 }, { 142, 59 }, { 135, 54 }, { 140, 48 }, { 130, 42 },
        { 128, 35 }, { 121, 31 }, { 122, 25 }, { 110, 20 }, { 106, 10 }, { 100, 6 }, { 100, 13 }, { 98, 16 },
        { 94, 17 }, { 92, 22 }, { 88, 22 }, { 80, 15 }, { 77, 8 }, { 72, 20 }, { 67, 25 }, { 57, 25 },
        { 50, 30 }, { 48, 29 }, { 52, 24 }, { 56, 26 }, { 58, 22 }, { 52, 16 }, { 43, 13 }, { 39, 20 },
        { 34, 28 }, { 35, 36 }, { 28, 37 }, { 23, 38 }, { 22, 40 }, { 19, 42 }, { 14, 45 }, { 12, 44 },
        { 18, 40 }, { 16, 38 }, { 10, 44 }, { 3, 43 }, { 0, 39 }, { -5, 36 } },
    // Africa
    { { -17, 21 }, { -17, 15 }, { -12, 8 }, { -8, 4 }, { 0, 5 }, { 9, 4 }, { 10, -2 }, { 12, -6 },
        { 13, -12 }, { 12, -17 }, { 15, -27 }, { 18, -34 }, { 22, -34 }, { 27, -34 }, { 33, -27 },
        { 35, -24 }, { 40, -15 }, { 40, -10 }, { 43, 0 }, { 51, 12 }, { 43, 12 }, { 38, 18 }, { 33, 28 },
        { 32, 31 }, { 25, 32 }, { 20, 31 }, { 10, 34 }, { 10, 37 }, { 0, 36 }, { -6, 36 }, { -10, 30 } },
    // Australia
    { { 114, -22 }, { 114, -34 }, { 117, -35 }, { 124, -33 }, { 131, -31 }, { 138, -35 }, { 140, -38 },
        { 146, -39 }, { 150, -37 }, { 153, -32 }, { 153, -25 }, { 146, -19 }, { 142, -11 }, { 140, -17 },
        { 136, -12 }, { 130, -12 }, { 126, -14 }, { 122, -17 } },
    // Britain, Japan, Borneo, Sumatra, Madagascar, New Zealand, Antarctica
    { { -5, 50 }, { 1, 51 }, { 0, 54 }, { -2, 56 }, { -5, 58 }, { -6, 56 }, { -3, 54 } },
    { { 130, 31 }, { 135, 34 }, { 140, 35 }, { 142, 39 }, { 141, 45 }, { 140, 41 }, { 136, 37 },
        { 132, 34 } },
    { { 109, 2 }, { 117, 7 }, { 119, 1 }, { 116, -4 }, { 110, -3 } },
    { { 95, 5 }, { 106, -6 }, { 101, -3 } },
    { { 44, -25 }, { 47, -25 }, { 50, -15 }, { 49, -12 }, { 44, -17 } },
    { { 172, -35 }, { 178, -38 }, { 174, -41 }, { 167, -46 }, { 172, -41 } },
    { { -180, -90 }, { -180, -78 }, { -60, -64 }, { 0, -70 }, { 90, -66 }, { 180, -78 }, { 180, -90 } },
};

QString land()
{
    QString path;
    for (const auto& outline : outlines) {
        QChar command = u'M';
        for (const auto& [longitude, latitude] : outline) {
            path += command + QString::number(longitude + 180) + u' ' + QString::number(90 - latitude);
            command = u'L';
        }
        path += u'Z';
    }
    return QStringLiteral("<path class=\"land\" d=\"%1\"/>").arg(path);
}

} // namespace

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
        + QLatin1String("<rect class=\"sea\" width=\"360\" height=\"180\"/>") + land();
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
