#include "MainScreen.h"

#include "platform/camera/CaptureBackend.h"
#include "ui/LumivueViewController.h"

std::unique_ptr<platform::ViewController> makeMainScreen(const HostSettings&,
                                                         std::shared_ptr<platform::CaptureBackend> backend)
{
    return std::make_unique<ui::LumivueViewController>(std::move(backend));
}
