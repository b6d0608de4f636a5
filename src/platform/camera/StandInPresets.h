#pragma once

// Frame sizes of the stand-in cameras (synthetic scene and image file), in frame pixels,
// landscape as a phone camera delivers them:
//   Low 192 × 144, Medium 480 × 360, High 1280 × 720, Photo 1920 × 1440 (video frames).
// Stills are taken at the video size of the preset, except Photo, whose stills are the full
// 2592 × 1936 of the sensor.

#include <QSize>

#include "platform/camera/CameraTypes.h"

namespace platform {

QSize standInVideoSize(SessionPreset preset);
QSize standInStillSize(SessionPreset preset);

} // namespace platform
