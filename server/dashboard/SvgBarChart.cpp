#include "SvgBarChart.h"

#include <algorithm>
#include <cmath>

#include "ChartFrame.h"
#include "HtmlEscape.h"

namespace collector {

namespace {

// Rows: the label column, the bar's room, the value after it; 12-unit text.
constexpr double rowHeight = 22;
constexpr double labelWidth = 124;
constexpr double valueRoom = 44;
constexpr qsizetype labelCharacters = 16;

} // namespace

void SvgBarChart::add(const QString& label, double value, const QString& hint)
{
    const double shown = std::isfinite(value) ? std::max(0.0, value) : 0.0;
    m_bars.append({ label, shown,
        hint.isEmpty() ? label + QLatin1String(": ") + QString::number(shown, 'g', 12) : hint });
}

bool SvgBarChart::isEmpty() const
{
    return !(largest() > 0);
}

double SvgBarChart::largest() const
{
    double most = 0;
    for (const Bar& bar : m_bars)
        most = std::max(most, bar.value);
    return most;
}

QString SvgBarChart::svg(const QString& caption) const
{
    return m_orientation == Orientation::Columns ? columns(caption) : rows(caption);
}

QString SvgBarChart::columns(const QString& caption) const
{
    QStringList labels;
    for (const Bar& bar : m_bars)
        labels.append(bar.label);
    const ChartFrame frame(labels, largest());
    QString svg = frame.open(caption);
    const double barWidth = std::max(0.5, frame.slotWidth() * 0.8);
    for (qsizetype i = 0; i < m_bars.size(); ++i) {
        const double top = frame.valueY(m_bars[i].value);
        svg += QStringLiteral(
            "<rect class=\"bar\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"><title>%5</title></rect>")
                   .arg(ChartFrame::number(frame.slotCentre(i) - barWidth / 2), ChartFrame::number(top),
                       ChartFrame::number(barWidth), ChartFrame::number(frame.baseline() - top),
                       htmlEscape(m_bars[i].hint));
    }
    return svg + QLatin1String("</svg>");
}

QString SvgBarChart::rows(const QString& caption) const
{
    const double width = ChartFrame::width;
    const double height = rowHeight * double(m_bars.size()) + 4;
    const double room = width - labelWidth - valueRoom;
    const double most = std::max(largest(), 1e-300);
    QString svg = ChartFrame::start(width, height, caption);
    for (qsizetype i = 0; i < m_bars.size(); ++i) {
        const Bar& bar = m_bars[i];
        const double y = rowHeight * double(i) + 2;
        const double length = room * bar.value / most;
        svg += QStringLiteral("<g><title>%1</title>"
                              "<text class=\"label\" x=\"%2\" y=\"%3\" text-anchor=\"end\">%4</text>"
                              "<rect class=\"bar\" x=\"%5\" y=\"%6\" width=\"%7\" height=\"%8\"/>"
                              "<text class=\"axis\" x=\"%9\" y=\"%3\">%10</text></g>")
                   .arg(htmlEscape(bar.hint), ChartFrame::number(labelWidth - 6), ChartFrame::number(y + 15),
                       htmlEscape(shortened(bar.label, labelCharacters)), ChartFrame::number(labelWidth),
                       ChartFrame::number(y + 3), ChartFrame::number(length),
                       ChartFrame::number(rowHeight - 6), ChartFrame::number(labelWidth + length + 4),
                       ChartFrame::shortCount(bar.value));
    }
    return svg + QLatin1String("</svg>");
}

} // namespace collector
