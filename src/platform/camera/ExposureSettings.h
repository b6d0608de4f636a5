#pragma once

// How a still picture was exposed, and the attachments a camera gives such a frame: an "{Exif}"
// dictionary with the image property key names (ExposureTime in seconds, ISOSpeedRatings as a
// list, FNumber, FocalLength in mm, PixelXDimension / PixelYDimension in frame pixels,
// DateTimeOriginal / DateTimeDigitized as "yyyy:MM:dd HH:mm:ss" local time, and the APEX values
// derived from them).
//
// Threads: a value type; any thread.

#include <QDateTime>
#include <QSize>

#include "platform/core/MetadataDictionary.h"

namespace platform {

struct ExposureSettings {
    double exposureTime { 1.0 / 60.0 }; // seconds
    int iso { 100 };
    double fNumber { 2.4 };
    double focalLength { 4.1 }; // millimetres
    int focalLengthIn35mmFilm { 33 };
    bool torchOn { false };

    MetadataDictionary attachments(QSize pixels, const QDateTime& taken) const;
};

} // namespace platform
