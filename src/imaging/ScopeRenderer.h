#pragma once

// The scope's two pictures and their drawing: the scope image shows the enhanced picture of the
// slot, the scope grid the instruments over it (level arc, channel gauges, the camera's activity
// marks, the numbers, the mode label, the message when there is no camera, the ring while a photo
// is taken). It reads the settings, the geometry, the pipeline's slot and measurements and the
// camera it is given; it changes nothing but the slot (which it empties) and its own dash phase.
//
// Units: both pictures are scopePixelSize points square, rendered at a scale of device pixels per
// point; the drawing works in points, y up after the overlay's flip, origin at the bottom left.
//
// Threads: render* and setDeviceOrientationSource on the GUI thread; requestOverlayRedraw and
// requestPictureRedraw on any thread (they call the handlers the screen set, on that thread).

#include <functional>
#include <memory>

#include "platform/core/ThreadChecker.h"
#include <QImage>

namespace imaging {

class GraphicsContext;

class FramePipeline;
class ScopeCamera;
class ScopeGeometry;
class ScopeSettings;

class ScopeRenderer {
public:
    // Device orientation code: 1 portrait, 2 upside down, 3 landscape left, 4 landscape right
    // (anything else draws as portrait). Read on the GUI thread as each overlay is drawn.
    using OrientationSource = std::function<int()>;

    // Every argument outlives the renderer.
    ScopeRenderer(const ScopeSettings& settings, const ScopeGeometry& geometry, FramePipeline& pipeline,
        const ScopeCamera& camera);
    ~ScopeRenderer();
    ScopeRenderer(const ScopeRenderer&) = delete;
    ScopeRenderer& operator=(const ScopeRenderer&) = delete;

    // Where the overlay reads the device orientation; portrait until set.
    void setDeviceOrientationSource(OrientationSource source) { m_orientation = std::move(source); }
    // Who hears the redraw requests; set before the pipeline's timer runs. Either may be empty.
    void setRedrawHandlers(std::function<void()> overlay, std::function<void()> picture);
    void requestOverlayRedraw() const;
    void requestPictureRedraw() const;

    // The scope image: the enhanced centre of the slot picture, turned upright, flipped unless
    // mirrored, cropped to the zoom, stretched nearest-neighbour over the square; empties the slot.
    // A null image when there is nothing new to show (an empty slot, or a photo being taken: the
    // scope keeps its last picture).
    QImage renderScopeImage(qreal scale);
    // The overlay, transparent where nothing is drawn.
    QImage renderScopeGrid(qreal scale);

private:
    struct OverlayFrame; // the overlay's measures in points

    bool drawScopeImage(GraphicsContext& context);
    void drawScopeGrid(GraphicsContext& context);
    void turnWithDevice(GraphicsContext& context, const OverlayFrame& frame) const;
    void drawLevelArc(GraphicsContext& context, const OverlayFrame& frame) const;
    void drawChannelGauges(GraphicsContext& context, const OverlayFrame& frame) const;
    void drawActivityMarks(GraphicsContext& context, const OverlayFrame& frame) const;
    void drawNumbers(GraphicsContext& context, const OverlayFrame& frame) const;
    void drawModeLabel(GraphicsContext& context, const OverlayFrame& frame) const;
    void drawCameraMessage(GraphicsContext& context, const OverlayFrame& frame) const;
    void drawPhotoRing(GraphicsContext& context, const OverlayFrame& frame);

    const ScopeSettings& m_settings;
    const ScopeGeometry& m_geometry;
    FramePipeline& m_pipeline;
    const ScopeCamera& m_camera;
    OrientationSource m_orientation;
    std::function<void()> m_overlayRedraw;
    std::function<void()> m_pictureRedraw;
    float m_dashPhase { 0.0f }; // overlay drawing only
    platform::ThreadChecker m_guiThread;
};

} // namespace imaging
