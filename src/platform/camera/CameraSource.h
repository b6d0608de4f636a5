#pragma once

// Which cameras the app uses, as written on the command line:
//   synthetic      the rendered night scene (back camera with torch, front camera)
//   image:PATH     a photo shown as the live feed (back and front camera, no torch)
//   qt             every camera Qt Multimedia finds
//   qt:INDEX       only the Qt Multimedia camera at INDEX (0-based)
// The default is "qt" when Qt Multimedia finds a camera, "synthetic" otherwise.
// The stand-ins (synthetic, image) can add sensor noise and hand shake to every frame and still
// (see SensorNoise.h), so that noise reduction and alignment can be tried without a dark room;
// a real camera brings its own and ignores both.
//
// Threads: main thread (the Qt cameras are GUI-thread objects).

#include <cstdint>
#include <memory>

#include <QString>

#include "platform/camera/Expected.h"

namespace platform {

class CaptureBackend;
class FrameClock;

class CameraSource {
public:
    enum class Kind { Synthetic, ImageFile, QtCamera };

    // Fails with a reason for an unknown kind, an empty path or a bad index.
    static Expected<CameraSource> parse(const QString& text);
    static CameraSource defaultSource();

    Kind kind() const { return m_kind; }
    QString path() const { return m_path; }
    int index() const { return m_index; } // -1: every Qt camera
    QString toString() const;

    // Noise in levels (0 to SensorNoise::kMaxSigma) and shake in pixels (0 to
    // SensorNoise::kMaxShake) for the stand-ins; values outside are clamped. Default 0 and 0:
    // the synthetic scene with only its own noise, the image source exactly the file's pixels.
    void setSensorNoise(int sigma, int shake);

    // Opens the source. clock null means real time; seed picks the synthetic scene's details.
    Expected<std::shared_ptr<CaptureBackend>> makeBackend(
        std::shared_ptr<FrameClock> clock = nullptr, std::uint32_t seed = 1) const;

private:
    CameraSource(Kind kind, QString path, int index)
        : m_kind(kind)
        , m_path(std::move(path))
        , m_index(index)
    {
    }

    Kind m_kind { Kind::Synthetic };
    QString m_path;
    int m_index { -1 };
    int m_noiseSigma { 0 };
    int m_noiseShake { 0 };
};

} // namespace platform
