#include "ui/ScreenLayout.h"

namespace ui {

ScreenLayout ScreenLayout::phone()
{
    // The scope spans y 140-340; the panel (232 × 128 at its widest) ends at 136, above it.
    ScreenLayout l;
    l.screen = QRectF(0, 0, 320, 480);
    l.controllView = QRectF(0, 396, 320, 84);
    l.captureButton = QRectF(18, 15, 54, 54);
    l.takePictureButton = QRectF(125, 7, 70, 70);
    l.NVButton = QRectF(251, 18, 48, 48);
    l.torchButton = QRectF(282, 10, 30, 30);
    l.cameraButton = QRectF(282, 50, 30, 30);
    l.denoiseButton = QRectF(282, 90, 30, 30);
    l.controllHUDView = QRectF(8, 8, 232, 128);
    l.levelIcon = QRectF(10, 346, 44, 20);
    l.sliderNVLevel = QRectF(56, 346, 248, 20);
    l.zoomIcon = QRectF(10, 370, 44, 20);
    l.sliderZoom = QRectF(56, 370, 248, 20);
    return l;
}

ScreenLayout ScreenLayout::tablet()
{
    // The scope spans y 212-812; the panel (222 × 88) ends at 96.
    ScreenLayout l;
    l.screen = QRectF(0, 0, 768, 1024);
    l.controllView = QRectF(0, 904, 768, 120);
    l.captureButton = QRectF(48, 20, 80, 80);
    l.takePictureButton = QRectF(339, 10, 100, 100);
    l.NVButton = QRectF(656, 26, 68, 68);
    l.torchButton = QRectF(708, 16, 44, 44);
    l.cameraButton = QRectF(708, 76, 44, 44);
    l.denoiseButton = QRectF(708, 136, 44, 44);
    l.controllHUDView = QRectF(8, 8, 222, 88);
    l.levelIcon = QRectF(124, 826, 56, 28);
    l.sliderNVLevel = QRectF(184, 826, 460, 28);
    l.zoomIcon = QRectF(124, 864, 56, 28);
    l.sliderZoom = QRectF(184, 864, 460, 28);
    return l;
}

} // namespace ui
