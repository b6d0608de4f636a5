#pragma once

// The real cameras on this machine, as GStreamer's device monitor finds them: PipeWire camera
// nodes where PipeWire publishes cameras (the V4L2 devices behind them are then left out), V4L2
// devices otherwise. Each comes with what the camera says of itself (PipeWire's
// api.libcamera.location and api.libcamera.rotation) and the formats it offers.
//
// Threads: any thread but a GStreamer streaming thread. A probe takes a few tens of milliseconds.

#include <vector>

#include "platform/camera/CameraInfo.h"
#include "platform/camera/Expected.h"

typedef struct _GstCaps GstCaps;

namespace platform {

class GstCameraCatalog {
public:
    static Expected<std::vector<CameraInfo>> probe();

    // The modes of a device's caps; formats no decoder of ours reads go to `unreadable`.
    static std::vector<CameraMode> modesOf(const GstCaps* caps, std::vector<QString>* unreadable = nullptr);
};

} // namespace platform
