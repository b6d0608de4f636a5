#include "SvgLineChart.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "ChartFrame.h"
#include "HtmlEscape.h"

namespace collector {

void SvgLineChart::addSeries(const QString& name, const QList<double>& values)
{
    if (m_series.size() == palette)
        return;
    QList<double> shown(m_labels.size(), 0.0);
    for (qsizetype i = 0; i < std::min(values.size(), shown.size()); ++i)
        shown[i] = std::isfinite(values[i]) ? std::max(0.0, values[i]) : 0.0;
    m_series.append({ name, shown });
}

bool SvgLineChart::isEmpty() const
{
    return std::none_of(m_series.cbegin(), m_series.cend(), [](const Series& series) {
        return std::any_of(series.values.cbegin(), series.values.cend(), [](double v) { return v > 0; });
    });
}

QString SvgLineChart::svg(const QString& caption) const
{
    double most = 0;
    for (const Series& series : m_series)
        for (const double value : series.values)
            most = std::max(most, value);
    const ChartFrame frame(m_labels, most);
    QString svg = frame.open(caption);
    for (qsizetype s = 0; s < m_series.size(); ++s) {
        const Series& series = m_series[s];
        QString points;
        QString marks;
        for (qsizetype i = 0; i < series.values.size(); ++i) {
            const QString x = ChartFrame::number(frame.slotCentre(i));
            const QString y = ChartFrame::number(frame.valueY(series.values[i]));
            points += x + QLatin1Char(',') + y + QLatin1Char(' ');
            marks += QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"2.5\"><title>%3 %4: %5</title></circle>")
                         .arg(x, y, htmlEscape(m_labels[i]), htmlEscape(series.name),
                             QString::number(series.values[i], 'g', 12));
        }
        svg += QStringLiteral("<g class=\"s%1\"><polyline fill=\"none\" points=\"%2\"/>%3</g>")
                   .arg(QString::number(s), points.trimmed(), marks);
    }
    return svg + QLatin1String("</svg>");
}

QString SvgLineChart::legend() const
{
    QString html = QStringLiteral("<ul class=\"legend\">");
    for (qsizetype s = 0; s < m_series.size(); ++s) {
        const double total = std::accumulate(m_series[s].values.cbegin(), m_series[s].values.cend(), 0.0);
        html += QStringLiteral("<li><span class=\"key k%1\"></span>%2 <span class=\"muted\">%3</span></li>")
                    .arg(QString::number(s), htmlEscape(m_series[s].name), QString::number(total, 'g', 12));
    }
    return html + QLatin1String("</ul>");
}

} // namespace collector
