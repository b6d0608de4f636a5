#pragma once

// Which of a camera's formats the app streams, and how its pictures are turned.
//
// Preview: the preset's size (the stand-ins' sizes) when the camera offers something close, at
// 15 frames a second or more where possible; the Photo preset takes the largest size up to
// 1920×1080. Among equal sizes raw formats beat motion JPEG (no decoding per frame). Stills: the
// largest size the camera offers, at any rate.
//
// Orientation: the frame path expects the pictures of a phone's sensor, which turned a quarter
// clockwise are upright (see SensorOrientation.h). A camera that says it must be turned R degrees
// counter-clockwise to be upright is turned R + 90 degrees counter-clockwise on arrival, so that
// its pictures follow the same rule. A camera that says nothing is an upright landscape webcam (R 0).
//
// Threads: pure functions; any thread.

#include <optional>
#include <vector>

#include "platform/camera/CameraInfo.h"
#include "platform/camera/CameraTypes.h"

namespace platform {

std::optional<CameraMode> previewMode(const std::vector<CameraMode>& modes, SessionPreset preset);
std::optional<CameraMode> stillMode(const std::vector<CameraMode>& modes);

// Counter-clockwise degrees (0, 90, 180 or 270) the camera's pictures are turned on arrival.
// `override` (the user's --camera-rotation) replaces what the camera says.
int arrivalTurn(const CameraInfo& camera, std::optional<int> override);

// Where the app treats the camera as facing: front and back as the camera says; an external or
// silent camera is shown mirrored like a front camera (Unspecified).
CaptureDevicePosition positionOf(const CameraInfo& camera);

} // namespace platform
