#pragma once

// What the app knows of one real camera: where it was found, where it faces, how its sensor is
// mounted, and the picture formats it offers.
//
// Threads: a value type; any thread.

#include <memory>
#include <optional>
#include <vector>

#include <QSize>
#include <QString>

typedef struct _GstDevice GstDevice;

namespace platform {

// One picture format a camera offers: "YUY2", "NV12", "I420", "BGRx", … as GStreamer names raw
// formats, or "MJPG" for motion JPEG.
struct CameraMode {
    QString format;
    QSize size;
    double framesPerSecond { 0 }; // the highest the camera offers at this size; 0 unknown

    bool isJpeg() const { return format == QLatin1String("MJPG"); }
    friend bool operator==(const CameraMode&, const CameraMode&) = default;
};

struct CameraInfo {
    enum class Api { PipeWire, V4l2 };

    QString name;
    Api api { Api::PipeWire };
    QString id; // PipeWire: the node's object serial; V4L2: the device path
    QString location; // "front", "back", "external", or empty when the camera does not say
    std::optional<int> rotation; // degrees to turn the picture counter-clockwise to be upright
    QString devicePath; // the V4L2 node behind the camera, when known (its controls live there)
    std::vector<CameraMode> modes; // the readable ones
    std::vector<QString> unreadableFormats; // offered, but none of our decoders takes them
    std::shared_ptr<GstDevice> device; // opens the camera

    QString apiName() const
    {
        return api == Api::PipeWire ? QStringLiteral("pipewire") : QStringLiteral("v4l2");
    }
};

} // namespace platform
