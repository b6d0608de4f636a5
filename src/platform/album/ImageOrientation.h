#pragma once

// Image orientation codes and their EXIF numbers.
//
// Image orientation codes: 0 up, 1 down, 2 left, 3 right, 4..7 their mirrored forms.
// EXIF orientation 1..8 says how the stored pixels must be turned to appear upright.
// Pure functions; any thread.

#include <QImage>

namespace platform {

// 0→1, 1→3, 2→8, 3→6, 4→2, 5→4, 6→5, 7→7; any other code → 1.
int exifOrientationForImageOrientation(int imageOrientation);

// The inverse; an EXIF number outside 1..8 (or missing) → 0 (up).
int imageOrientationForExifOrientation(int exifOrientation);

// The stored pixels turned upright for the given EXIF orientation.
QImage imageTurnedUpright(const QImage& stored, int exifOrientation);

} // namespace platform
