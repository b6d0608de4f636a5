#pragma once

// The one place that decides which screen the app shows first: the camera screen, fed by the
// cameras of `backend` (null: no camera; the screen says so), saving its photos to the --album
// folder (made if it does not exist yet) or to the user's default album, with night mode on
// when --denoise asks for it.

#include <memory>

#include "HostSettings.h"

namespace platform {
class CaptureBackend;
}
namespace ui {
class LumivueViewController;
}

std::unique_ptr<ui::LumivueViewController> makeMainScreen(
    const HostSettings& settings, std::shared_ptr<platform::CaptureBackend> backend);
