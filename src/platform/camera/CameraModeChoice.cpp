#include "platform/camera/CameraModeChoice.h"

#include <cstdlib>

#include "platform/camera/StandInPresets.h"

namespace platform {

namespace {

constexpr double kSmoothRate = 15.0;
constexpr qint64 kLargestPreviewArea = 1920LL * 1080;

qint64 area(QSize size)
{
    return qint64(size.width()) * size.height();
}

// Smaller is better: a smooth rate first, then the size, then no decoding per frame.
struct Rank {
    bool slow;
    qint64 sizeDistance;
    bool jpeg;
    auto operator<=>(const Rank&) const = default;
};

} // namespace

std::optional<CameraMode> previewMode(const std::vector<CameraMode>& modes, SessionPreset preset)
{
    const qint64 wanted = area(standInVideoSize(preset));
    std::optional<CameraMode> best;
    std::optional<Rank> bestRank;
    for (const CameraMode& mode : modes) {
        qint64 distance = std::llabs(area(mode.size) - wanted);
        if (preset == SessionPreset::Photo) // the largest up to 1080p; anything larger comes last
            distance = area(mode.size) <= kLargestPreviewArea ? kLargestPreviewArea - area(mode.size)
                                                              : kLargestPreviewArea + area(mode.size);
        const Rank rank { mode.framesPerSecond > 0 && mode.framesPerSecond < kSmoothRate, distance,
            mode.isJpeg() };
        if (!bestRank || rank < *bestRank) {
            best = mode;
            bestRank = rank;
        }
    }
    return best;
}

std::optional<CameraMode> stillMode(const std::vector<CameraMode>& modes)
{
    std::optional<CameraMode> best;
    for (const CameraMode& mode : modes) {
        if (!best || area(mode.size) > area(best->size)
            || (area(mode.size) == area(best->size) && best->isJpeg() && !mode.isJpeg()))
            best = mode;
    }
    return best;
}

int arrivalTurn(const CameraInfo& camera, std::optional<int> override)
{
    const int mounting = override ? *override : camera.rotation.value_or(0);
    return ((mounting + 90) % 360 + 360) % 360;
}

CaptureDevicePosition positionOf(const CameraInfo& camera)
{
    if (camera.location == QLatin1String("back"))
        return CaptureDevicePosition::Back;
    if (camera.location == QLatin1String("front"))
        return CaptureDevicePosition::Front;
    return CaptureDevicePosition::Unspecified;
}

} // namespace platform
