#pragma once

// The picture side of the live preview: the camera's newest unprocessed picture and how it fills
// the preview (aspect fill), turned upright and mirrored the way the scope picture is drawn, so
// that the scope square lies exactly over the part of the picture it shows.
//
// Frames arrive landscape, as the camera's sensor gives them; the preview stands in portrait. The
// picture is turned a quarter turn clockwise (the frame's first row along the right edge, its
// first column along the top); a mirrored (front camera) picture is then mirrored left to right.
// The scale is the aspect-fill one: max(view height / frame width, view width / frame height)
// points per frame pixel, centred on the view.
//
// Threads: any. The pictures come from the camera's preview store, which any thread may fill;
// the listener is called on the thread that filled it.

#include <functional>
#include <memory>

#include <QSizeF>
#include <QTransform>

#include "platform/camera/PreviewFrame.h"

namespace platform {
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

    // The camera's side: session, gravity, mirroring.
    const std::shared_ptr<platform::VideoPreviewLayer>& videoPreviewLayer() const { return m_preview; }
    bool isMirrored() const;
    // The newest picture; a null image before the first one or after a stop.
    platform::PreviewFrame currentFrame() const;
    // Called (on the camera's thread) whenever the picture changes; empty stops the calls, and
    // once this returns the old listener is not running and will not be called.
    void setFrameListener(std::function<void()> listener);

    // Picture pixels → view points: turned upright, mirrored when `mirrored`, aspect-filled and
    // centred in a view of `view` points. Identity when either size is empty.
    static QTransform fitTransform(QSize picture, QSizeF view, bool mirrored);

private:
    std::shared_ptr<platform::VideoPreviewLayer> m_preview;
    platform::StreamPreviewLayer* m_stream { nullptr }; // m_preview, when it carries pictures
};

} // namespace imaging
