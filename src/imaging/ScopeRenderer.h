#pragma once

// The two layers of the scope and their drawing: scopeImageLayer shows the enhanced picture of
// the slot, scopeGridLayer the instruments over it (level arc, channel gauges, the camera's
// activity marks, the numbers, the mode label, the message when there is no camera, the ring
// while a photo is taken). It reads the settings, the geometry, the pipeline's slot and
// measurements and the camera it is given; it changes nothing but the slot (which it empties)
// and its own dash phase.
//
// Units: the layers are scopePixelSize points square; the drawing works in points, y up after
// the overlay's flip, origin at the bottom left.
//
// Threads: drawLayer on the GUI thread (the layer system draws there); setupScopeLayers,
// setDeviceOrientationSource and detach on the main thread; requestOverlayRedraw and
// requestPictureRedraw on any thread (a layer accepts redraw requests from any thread).

#include <functional>
#include <memory>

#include "platform/core/ThreadChecker.h"
#include "platform/graphics/Layer.h"

namespace platform {
class GraphicsContext;
} // namespace platform

namespace imaging {

class FramePipeline;
class ScopeCamera;
class ScopeGeometry;
class ScopeSettings;

class ScopeRenderer : public platform::LayerDelegate {
public:
    // Device orientation code: 1 portrait, 2 upside down, 3 landscape left, 4 landscape right
    // (anything else draws as portrait). Read on the GUI thread as each overlay is drawn.
    using OrientationSource = std::function<int()>;

    // Every argument outlives the renderer.
    ScopeRenderer(const ScopeSettings& settings, const ScopeGeometry& geometry, FramePipeline& pipeline,
        const ScopeCamera& camera);
    ~ScopeRenderer() override;
    ScopeRenderer(const ScopeRenderer&) = delete;
    ScopeRenderer& operator=(const ScopeRenderer&) = delete;

    // Adds both layers to `viewLayer` (when there is one), centred in `viewBounds`, scopePixelSize
    // square, at the screen scale, and asks for a first overlay.
    void setupScopeLayers(const std::shared_ptr<platform::Layer>& viewLayer, QRectF viewBounds);
    // Where the overlay reads the device orientation; portrait until set.
    void setDeviceOrientationSource(OrientationSource source) { m_orientation = std::move(source); }
    void requestOverlayRedraw() { m_scopeGridLayer->setNeedsDisplay(); }
    void requestPictureRedraw() { m_scopeImageLayer->setNeedsDisplay(); }
    // Takes the layers out of the view tree; they no longer call back. Idempotent.
    void detach();

    // scopeImageLayer: the enhanced centre of the slot picture, turned upright, flipped unless
    // mirrored, cropped to the zoom, stretched nearest-neighbour over the square; empties the slot.
    // scopeGridLayer: the overlay. Any other layer is ignored.
    void drawLayer(platform::Layer& layer, platform::GraphicsContext& context) override;

    // Made in the constructor and never replaced, so any thread may request their redraws.
    const std::shared_ptr<platform::Layer>& scopeImageLayer() const { return m_scopeImageLayer; }
    const std::shared_ptr<platform::Layer>& scopeGridLayer() const { return m_scopeGridLayer; }

private:
    struct OverlayFrame; // the overlay's measures in points

    void drawScopeImage(platform::GraphicsContext& context);
    void drawScopeGrid(platform::GraphicsContext& context);
    void turnWithDevice(platform::GraphicsContext& context, const OverlayFrame& frame) const;
    void drawLevelArc(platform::GraphicsContext& context, const OverlayFrame& frame) const;
    void drawChannelGauges(platform::GraphicsContext& context, const OverlayFrame& frame) const;
    void drawActivityMarks(platform::GraphicsContext& context, const OverlayFrame& frame) const;
    void drawNumbers(platform::GraphicsContext& context, const OverlayFrame& frame) const;
    void drawModeLabel(platform::GraphicsContext& context, const OverlayFrame& frame) const;
    void drawCameraMessage(platform::GraphicsContext& context, const OverlayFrame& frame) const;
    void drawPhotoRing(platform::GraphicsContext& context, const OverlayFrame& frame);

    const ScopeSettings& m_settings;
    const ScopeGeometry& m_geometry;
    FramePipeline& m_pipeline;
    const ScopeCamera& m_camera;
    OrientationSource m_orientation;
    const std::shared_ptr<platform::Layer> m_scopeImageLayer;
    const std::shared_ptr<platform::Layer> m_scopeGridLayer;
    float m_dashPhase { 0.0f }; // overlay drawing only
    platform::ThreadChecker m_guiThread;
};

} // namespace imaging
