#pragma once

// One unprocessed camera picture for the live preview. The image is shared and never written
// after publication (the frame delegate gets its own copy to enhance in place).
//
// image: Format_ARGB32_Premultiplied, frame pixels, landscape as the camera delivers it.
// mirrored: show it mirrored left to right (front camera).

#include <cstdint>

#include <QImage>

#include "platform/camera/FrameClock.h"

namespace platform {

struct PreviewFrame {
    QImage image;
    bool mirrored { false };
    std::uint64_t sequence { 0 }; // 1 for the first picture, then counting up; 0: none yet
    FrameClock::Duration timestamp { 0 }; // the source clock's time of the picture
};

} // namespace platform
