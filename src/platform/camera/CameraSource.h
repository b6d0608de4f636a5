#pragma once

// Which cameras the app uses, as written on the command line:
//   synthetic      the rendered night scene (back camera with torch, front camera)
//   image:PATH     a photo shown as the live feed (back and front camera, no torch)
//   pipewire       every PipeWire camera node
//   pipewire:NAME  only the PipeWire camera of that name or object serial
//   v4l2           every V4L2 camera (where PipeWire does not publish them)
//   v4l2:NAME      only the V4L2 camera of that name or device path (/dev/video0)
// The default is every real camera found (PipeWire's where PipeWire runs, else V4L2's), or
// "synthetic" when there is none.
// The stand-ins (synthetic, image) can add sensor noise and hand shake to every frame and still
// (see SensorNoise.h), so that noise reduction and alignment can be tried without a dark room;
// a real camera brings its own and ignores both.
//
// Threads: main thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QString>

#include "platform/camera/CameraInfo.h"
#include "platform/camera/Expected.h"

namespace platform {

class CaptureBackend;
class FrameClock;

class CameraSource {
public:
    enum class Kind { Synthetic, ImageFile, PipeWire, V4l2 };

    // Fails with a reason for an unknown kind or an empty path.
    static Expected<CameraSource> parse(const QString& text);
    // Every real camera found, else the synthetic scene (and a log line saying so).
    static CameraSource defaultSource();

    Kind kind() const { return m_kind; }
    QString path() const { return m_path; } // image path, or the real camera's name ("" every camera)
    QString toString() const;

    // The mounting rotation of the real cameras, replacing what they say (0, 90, 180 or 270).
    void setCameraRotation(std::optional<int> degrees) { m_rotation = degrees; }

    // Noise in levels (0 to SensorNoise::kMaxSigma) and shake in pixels (0 to
    // SensorNoise::kMaxShake) for the stand-ins; values outside are clamped. Default 0 and 0:
    // the synthetic scene with only its own noise, the image source exactly the file's pixels.
    void setSensorNoise(int sigma, int shake);

    // Opens the source. clock null means real time; seed picks the synthetic scene's details.
    Expected<std::shared_ptr<CaptureBackend>> makeBackend(
        std::shared_ptr<FrameClock> clock = nullptr, std::uint32_t seed = 1) const;

private:
    CameraSource(Kind kind, QString path)
        : m_kind(kind)
        , m_path(std::move(path))
    {
    }
    CameraSource(Kind kind, std::vector<CameraInfo> found)
        : m_kind(kind)
        , m_found(std::move(found))
    {
    }
    Expected<std::shared_ptr<CaptureBackend>> makeRealBackend(std::shared_ptr<FrameClock> clock) const;

    Kind m_kind { Kind::Synthetic };
    QString m_path;
    std::vector<CameraInfo> m_found; // the default source's cameras, probed once
    std::optional<int> m_rotation;
    int m_noiseSigma { 0 };
    int m_noiseShake { 0 };
};

} // namespace platform
