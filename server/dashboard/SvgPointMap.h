#pragma once

// Coarse locations as points on an equirectangular world grid drawn as inline SVG (no tiles, no
// network): longitude −180…180 left to right, latitude 90…−90 top to bottom, one SVG unit per
// degree, a point's area growing with its weight. Places outside those ranges are left out. Any
// thread.

#include <QList>
#include <QString>

namespace collector {

class SvgPointMap {
public:
    // False when the place is not on the map.
    bool add(double latitude, double longitude, double weight, const QString& hint);
    bool isEmpty() const { return m_points.isEmpty(); }
    QString svg(const QString& caption) const;

private:
    struct Point {
        double latitude { 0 };
        double longitude { 0 };
        double weight { 0 };
        QString hint;
    };

    QList<Point> m_points;
};

} // namespace collector
