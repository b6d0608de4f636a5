#pragma once

// A bar chart as inline SVG: columns over a row of slots (a value per day, per length bucket), or
// rows for categories (app versions, device models), the longest first as given. Every bar carries
// its hint as a tooltip. Labels and hints are plain text; the chart escapes them. Any thread.

#include <QList>
#include <QString>

namespace collector {

class SvgBarChart {
public:
    enum class Orientation { Columns, Rows };

    explicit SvgBarChart(Orientation orientation)
        : m_orientation(orientation)
    {
    }

    // A negative value draws as none. `hint` defaults to "label: value".
    void add(const QString& label, double value, const QString& hint = {});
    // No bar, or nothing above zero: there is no chart to draw.
    bool isEmpty() const;
    QString svg(const QString& caption) const;

private:
    struct Bar {
        QString label;
        double value { 0 };
        QString hint;
    };

    double largest() const;
    QString columns(const QString& caption) const;
    QString rows(const QString& caption) const;

    Orientation m_orientation;
    QList<Bar> m_bars;
};

} // namespace collector
