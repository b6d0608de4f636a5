#pragma once

// Small value types shared by the camera interfaces. Their numbers are the ones the camera
// framework reports, so logs and saved settings read the same on every back end.

#include <cstdint>

namespace platform {

enum class MediaType { Video, Audio };

// Position of a camera on the device. Only Back is treated specially by the app.
enum class CaptureDevicePosition : int { Unspecified = 0, Back = 1, Front = 2 };

enum class TorchMode : int { Off = 0, On = 1, Auto = 2 };

// Picture-size presets of a capture session.
enum class SessionPreset { Low, Medium, High, Photo };

// Pixel formats an output can be asked for; the value is the format's FourCC.
enum class PixelFormat : std::uint32_t { BGRA32 = 0x42475241 }; // 'BGRA'

enum class VideoGravity { Resize, ResizeAspect, ResizeAspectFill };

// A frame duration as a rational number of seconds, value / timescale (1/20 s is {1, 20}).
struct FrameDuration {
    std::int64_t value { 0 };
    std::int32_t timescale { 1 };
};

} // namespace platform
