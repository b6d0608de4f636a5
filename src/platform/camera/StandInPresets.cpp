#include "platform/camera/StandInPresets.h"

namespace platform {

QSize standInVideoSize(SessionPreset preset)
{
    switch (preset) {
    case SessionPreset::Low:
        return { 192, 144 };
    case SessionPreset::Medium:
        return { 480, 360 };
    case SessionPreset::High:
        return { 1280, 720 };
    case SessionPreset::Photo:
        return { 1920, 1440 };
    }
    return { 1920, 1440 };
}

QSize standInStillSize(SessionPreset preset)
{
    return preset == SessionPreset::Photo ? QSize(2592, 1936) : standInVideoSize(preset);
}

} // namespace platform
