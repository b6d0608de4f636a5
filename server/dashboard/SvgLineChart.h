#pragma once

// Several series over the same slots (events per day, one line per event name) as inline SVG, each
// series in one of `palette` colours (CSS classes s0… for the line, k0… for its legend key), a
// point per slot with its value as a tooltip. Names are plain text; the chart escapes them. Any
// thread.

#include <QList>
#include <QString>
#include <QStringList>

namespace collector {

class SvgLineChart {
public:
    static constexpr int palette = 8;

    explicit SvgLineChart(const QStringList& slotLabels)
        : m_labels(slotLabels)
    {
    }

    // One value per slot; missing slots count as zero. Series beyond the palette are not drawn.
    void addSeries(const QString& name, const QList<double>& values);
    bool isEmpty() const;
    QString svg(const QString& caption) const;
    // The series' names with their colour keys and totals, as an HTML list.
    QString legend() const;

private:
    struct Series {
        QString name;
        QList<double> values;
    };

    QStringList m_labels;
    QList<Series> m_series;
};

} // namespace collector
