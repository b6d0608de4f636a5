#pragma once

// The button symbols for QML: "image://art/NAME/POINTS/SCALE" (NAME one of shutter, torch,
// cameraSwitch, nightMode-on, nightMode-off, grid, albumPlaceholder) is ButtonArt's picture of
// that size, sharp at that scale. An unknown name gives a null image, which QML shows as nothing.
//
// Threads: any (Qt Quick may ask from its loader threads; ButtonArt is pure).

#include <QQuickImageProvider>

namespace ui {

class ButtonArtProvider : public QQuickImageProvider {
public:
    ButtonArtProvider();
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

} // namespace ui
