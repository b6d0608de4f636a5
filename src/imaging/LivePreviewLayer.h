#pragma once

// The graphics side of the live preview: a layer that shows the camera's newest unprocessed
// picture filling the preview view (aspect fill), turned upright and mirrored the way the scope
// picture is drawn, so that the scope square lies exactly over the part of the picture it shows.
//
// Frames arrive landscape, as the camera's sensor gives them; the layer stands in portrait. The
// picture is turned a quarter turn clockwise (the frame's first row along the right edge, its
// first column along the top); a mirrored (front camera) picture is then mirrored left to right.
// The scale is the aspect-fill one: max(view height / frame width, view width / frame height)
// points per frame pixel, centred on the view.
//
// Threads: GUI thread only. The pictures come from the camera's preview store, which any thread
// may fill; refresh() picks up the newest.

#include <cstdint>
#include <memory>

#include <QRectF>

#include "platform/core/ThreadChecker.h"

class QTimer;

namespace platform {
class Layer;
class StreamPreviewLayer;
class VideoPreviewLayer;
} // namespace platform

namespace imaging {

class LivePreviewLayer {
public:
    // `preview` is the camera's preview object; null, or one without pictures, shows black.
    explicit LivePreviewLayer(std::shared_ptr<platform::VideoPreviewLayer> preview);
    ~LivePreviewLayer();
    LivePreviewLayer(const LivePreviewLayer&) = delete;
    LivePreviewLayer& operator=(const LivePreviewLayer&) = delete;

    // The layer to put in the view tree (clips to its bounds).
    const std::shared_ptr<platform::Layer>& layer() const { return m_layer; }
    // The camera's side: session, gravity, mirroring.
    const std::shared_ptr<platform::VideoPreviewLayer>& videoPreviewLayer() const { return m_preview; }
    bool isMirrored() const;

    // Places the layer in its superlayer (points) and refits the picture.
    void setFrame(const QRectF& frame);
    // Shows the newest picture if it is not shown yet; true when something changed.
    bool refresh();
    // Calls refresh() from the GUI event loop 60 times a second until destroyed.
    void startAutoRefresh();

private:
    void fitPicture();

    std::shared_ptr<platform::VideoPreviewLayer> m_preview;
    platform::StreamPreviewLayer* m_stream { nullptr }; // m_preview, when it carries pictures
    std::shared_ptr<platform::Layer> m_layer;
    std::shared_ptr<platform::Layer> m_picture; // sublayer holding the frame as contents
    std::uint64_t m_shownSequence { 0 };
    bool m_shownMirrored { false };
    std::unique_ptr<QTimer> m_refreshTimer;
    [[no_unique_address]] platform::ThreadChecker m_guiThread;
};

} // namespace imaging
