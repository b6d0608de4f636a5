#include "ChartFrame.h"

#include <algorithm>
#include <cmath>

#include "HtmlEscape.h"

namespace collector {

namespace {

constexpr double left = 40;
constexpr double right = 6;
constexpr double above = 10;
constexpr double below = 22;
constexpr qsizetype labelCharacters = 8;
constexpr double characterWidth = 7.2; // of 12-unit text, generously
constexpr double labelGap = 6;

double plotWidth()
{
    return ChartFrame::width - left - right;
}
double plotHeight()
{
    return ChartFrame::height - above - below;
}

} // namespace

ChartFrame::ChartFrame(const QStringList& slotLabels, double largestValue)
    : m_labels(slotLabels)
    , m_top(roundTop(largestValue))
{
}

double ChartFrame::slotWidth() const
{
    return plotWidth() / double(std::max<qsizetype>(1, m_labels.size()));
}

double ChartFrame::slotCentre(qsizetype slot) const
{
    return left + (double(slot) + 0.5) * slotWidth();
}

double ChartFrame::valueY(double value) const
{
    const double share = std::clamp(value / m_top, 0.0, 1.0);
    return baseline() - share * plotHeight();
}

double ChartFrame::baseline() const
{
    return above + plotHeight();
}

QString ChartFrame::open(const QString& caption) const
{
    QString svg = start(width, height, caption);
    for (const double share : { 0.0, 0.5, 1.0 }) {
        const double y = baseline() - share * plotHeight();
        svg += QStringLiteral("<line class=\"grid\" x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\"/>"
                              "<text class=\"axis\" x=\"%4\" y=\"%5\" text-anchor=\"end\">%6</text>")
                   .arg(number(left), number(y), number(width - right), number(left - 4), number(y + 4),
                       shortCount(share * m_top));
    }
    // Every label, or every second, third… so that the longest never runs into the next.
    qsizetype longest = 1;
    for (const QString& label : m_labels)
        longest = std::max(longest, std::min(label.size(), labelCharacters));
    const double room = double(longest) * characterWidth + labelGap;
    const qsizetype step = std::max<qsizetype>(1, qsizetype(std::ceil(room / slotWidth())));
    for (qsizetype slot = 0; slot < m_labels.size(); slot += step)
        svg += QStringLiteral("<text class=\"axis\" x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>")
                   .arg(number(slotCentre(slot)), number(height - 6),
                       htmlEscape(shortened(m_labels[slot], labelCharacters)));
    return svg;
}

QString ChartFrame::start(double viewWidth, double viewHeight, const QString& caption)
{
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 %1 %2\" role=\"img\" "
                          "aria-label=\"%3\"><title>%3</title>")
        .arg(number(viewWidth), number(viewHeight), htmlEscape(caption));
}

double ChartFrame::roundTop(double value)
{
    if (!(value > 2) || !std::isfinite(value))
        return 2;
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (const double step : { 2.0, 4.0, 6.0, 8.0, 10.0 })
        if (value <= step * power * (1 + 1e-12))
            return step * power;
    return 10 * power;
}

QString ChartFrame::number(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    QString text = QString::number(std::round(value * 10) / 10, 'f', 1);
    if (text.endsWith(QLatin1String(".0")))
        text.chop(2);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QString ChartFrame::shortCount(double value)
{
    const auto scaled
        = [](double v, const char* unit) { return QString::number(v, 'g', 3) + QLatin1String(unit); };
    if (value >= 1e6)
        return scaled(value / 1e6, "M");
    if (value >= 1e3)
        return scaled(value / 1e3, "k");
    return QString::number(value, 'g', 3);
}

} // namespace collector
