#pragma once

// A phone's camera sensor is mounted landscape: held upright (portrait), it delivers frames with
// the scene turned a quarter counter-clockwise, and the preview turns them back clockwise. The
// stand-in cameras compose their scene upright in portrait and lay it into the landscape frame
// the same way, so the picture on screen is upright.

#include <QSize>
#include <QTransform>

namespace platform {

// The upright (portrait) size of a scene delivered in a frame of `frameSize`.
inline QSize uprightSceneSize(QSize frameSize)
{
    return frameSize.transposed();
}

// Maps upright scene coordinates (x right, y down, in frame pixels) to frame pixel coordinates.
inline QTransform uprightSceneToFrame(QSize frameSize)
{
    // Scene (u, v) → frame (x, y) = (v, H − u): a quarter turn counter-clockwise.
    return QTransform(0, -1, 1, 0, 0, frameSize.height());
}

} // namespace platform
