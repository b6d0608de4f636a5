#pragma once

// The frame the column and line charts share: a value axis whose top is a round number at or
// above the largest value (grid lines a reader can take in), and one slot per label along the
// bottom, with as many labels written as fit. Units: SVG user units of a 360 × 200 view box (on a phone about
// one unit a pixel); text is 12 units high. Any thread.

#include <QString>
#include <QStringList>

namespace collector {

class ChartFrame {
public:
    static constexpr double width = 360;
    static constexpr double height = 200;

    ChartFrame(const QStringList& slotLabels, double largestValue);

    double slotWidth() const;
    double slotCentre(qsizetype slot) const;
    double valueY(double value) const; // clamped to the axis
    double baseline() const;

    // The opening <svg> with its accessible caption, the grid, the axis numbers and the labels.
    QString open(const QString& caption) const;

    // An opening <svg> of that view box, with its accessible caption.
    static QString start(double viewWidth, double viewHeight, const QString& caption);
    // 2, 4, 6, 8 or 10 × 10^k, the smallest at or above `value` (2 at least): counts stay whole at
    // the top and half-way.
    static double roundTop(double value);
    // A coordinate or length with one decimal at most; never "nan" or "inf".
    static QString number(double value);
    // An axis value, short: 950, 1.2k, 3.4M.
    static QString shortCount(double value);

private:
    QStringList m_labels;
    double m_top { 1 };
};

} // namespace collector
