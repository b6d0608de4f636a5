#pragma once

// The camera side of the live preview: which session it shows, its gravity, whether the picture
// is mirrored, and the newest unprocessed picture. The screen draws currentFrame() (aspect-filled by
// default, mirrored when the frame says so) when the listener says a new one is there.
//
// Threads: main thread, except currentFrame() (any thread).

#include <functional>
#include <memory>

#include "platform/camera/PreviewFrame.h"
#include "platform/camera/VideoPreviewLayer.h"
#include "platform/core/ThreadChecker.h"

namespace platform {

class PreviewFrameStore;
class StreamCaptureSession;

class StreamPreviewLayer final : public VideoPreviewLayer {
public:
    explicit StreamPreviewLayer(std::shared_ptr<StreamCaptureSession> session);

    std::shared_ptr<CaptureSession> session() const override;

    void setVideoGravity(VideoGravity gravity) override { m_gravity = gravity; }
    VideoGravity videoGravity() const override { return m_gravity; }

    // Follows the session's current camera: any camera but the back one is shown mirrored.
    bool isMirrored() const override;

    // The newest picture; sequence 0 (null image) before the first one or after a stop.
    PreviewFrame currentFrame() const;
    // See PreviewFrameStore::setListener.
    void setFrameListener(std::function<void()> listener);

private:
    std::shared_ptr<StreamCaptureSession> m_session;
    std::shared_ptr<PreviewFrameStore> m_store;
    VideoGravity m_gravity { VideoGravity::ResizeAspectFill };
    [[no_unique_address]] ThreadChecker m_mainThread;
};

} // namespace platform
