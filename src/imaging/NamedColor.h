#pragma once

// The platform's named colours, all opaque: red (1, 0, 0), green (0, 1, 0), blue (0, 0, 1),
// grey (0.5 white), black, white, and clear (fully transparent black).

#include <QColor>

namespace imaging {

class NamedColor {
public:
    static QColor red() { return QColor::fromRgbF(1, 0, 0); }
    static QColor green() { return QColor::fromRgbF(0, 1, 0); }
    static QColor blue() { return QColor::fromRgbF(0, 0, 1); }
    static QColor grey() { return QColor::fromRgbF(0.5f, 0.5f, 0.5f); }
    static QColor black() { return QColor::fromRgbF(0, 0, 0); }
    static QColor white() { return QColor::fromRgbF(1, 1, 1); }
    static QColor clear() { return QColor::fromRgbF(0, 0, 0, 0); }
};

} // namespace imaging
