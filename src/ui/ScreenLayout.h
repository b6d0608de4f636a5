#pragma once

// Where the camera screen's controls sit, in points, for the two device classes. The preview
// fills the screen; the scope square lies in its middle (200 points on a phone, 600 on a tablet),
// the option panel in the top-left corner above it, the torch and camera switches and the night
// mode toggle in a column top right (all three above the scope, clear of the panel in either
// orientation), the two sliders below the scope, and a translucent bar along the bottom holds the album
// thumbnail, the shutter and the grid toggle.
//
// Frames of controls inside the bottom bar are in the bar's coordinates; all others are in the
// screen's.
//
// Threads: any (plain values).

#include <QRectF>

namespace ui {

struct ScreenLayout {
    QRectF screen;
    QRectF controllView; // the bottom bar
    QRectF captureButton; // in controllView
    QRectF takePictureButton; // in controllView
    QRectF NVButton; // in controllView
    QRectF torchButton;
    QRectF cameraButton;
    QRectF denoiseButton; // night mode
    QRectF controllHUDView; // origin only; its size comes from updateOptionButtonVisibility
    QRectF sliderNVLevel;
    QRectF sliderZoom;
    QRectF levelIcon; // small captions left of the sliders
    QRectF zoomIcon;

    static ScreenLayout phone(); // 320 × 480
    static ScreenLayout tablet(); // 768 × 1024
    static ScreenLayout forInterface(bool tablet) { return tablet ? ScreenLayout::tablet() : phone(); }
};

} // namespace ui
