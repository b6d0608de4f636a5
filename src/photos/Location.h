#pragma once

// A position fix as the metadata dictionary stores and returns it: WGS-84 degrees (north and
// east positive) and the moment of the fix. A plain value; any thread.

#include <QDateTime>

namespace photos {

struct Location {
    double latitude { 0.0 };
    double longitude { 0.0 };
    QDateTime timestamp; // invalid when unknown
};

} // namespace photos
