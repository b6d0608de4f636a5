#pragma once

// A phone's camera sensor is mounted landscape: held upright (portrait), it delivers frames with
// the scene turned a quarter counter-clockwise, and the preview turns them back clockwise. The
// stand-in cameras compose their scene upright in portrait and lay it into the landscape frame
// the same way, so the picture on screen is upright.
//
// The front sensor is the same part turned round to face the user (half a turn about the
// phone's long axis), not a mirror image of it: its frames are laid out exactly as the back
// sensor's, and what it sees is not reversed. The screen mirrors the front picture (preview and
// scope), so it behaves like a mirror; a saved photo is the sensor's picture, which, turned by
// its EXIF orientation, is the scene as seen, not mirrored. The stand-ins let both cameras see
// the same scene, so a front frame equals the back frame of the same moment.

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
