#pragma once

// The camera screen's button symbols, drawn with QPainter: white strokes on a transparent
// background, for the screen's buttons. Each image is `points` × scale device pixels
// square (so it stays sharp on a scale-2 screen) and is a pure function of its arguments.
//
// Threads: any thread (each call paints its own image).

#include <QImage>

namespace ui {

class ButtonArt {
public:
    ButtonArt() = delete;

    // The shutter: a white ring around a white disc.
    static QImage shutter(qreal points, qreal scale);
    // The shutter in video mode: the ring around a red disc, or, while recording, a red square.
    static QImage videoShutter(qreal points, qreal scale, bool recording);
    // The photo/video switch, showing the mode in use: a camera, or a video camera.
    static QImage captureMode(qreal points, qreal scale, bool video);
    // The torch: a lightning bolt.
    static QImage torch(qreal points, qreal scale);
    // Front/back switch: a camera body with two turning arrows.
    static QImage cameraSwitch(qreal points, qreal scale);
    // Night mode: a crescent moon with two stars; `on` fills the moon in the reticle's green.
    static QImage nightMode(qreal points, qreal scale, bool on);
    // The grid toggle: a scope reticle (ring, cross hair and ticks).
    static QImage grid(qreal points, qreal scale);
    // The self-timer: a stopwatch, or its seconds (3, 10) in green once set.
    static QImage selfTimer(qreal points, qreal scale, int seconds);
    // The album button before any thumbnail: a picture frame with hills and a moon.
    static QImage albumPlaceholder(qreal points, qreal scale);
    // By name, for the screen's QML: shutter, shutter-video, shutter-stop, torch, cameraSwitch,
    // nightMode-on, nightMode-off, grid, albumPlaceholder, selfTimer-0/3/10, captureMode-photo,
    // captureMode-video. An unknown name, or a size no button has, gives a null image.
    static QImage named(const QString& name, qreal points, qreal scale);
};

} // namespace ui
