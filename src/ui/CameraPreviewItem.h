#pragma once

// The live picture, full screen under the scope: the camera's newest unprocessed picture as a
// scene-graph texture, turned upright, mirrored for the front camera and aspect-filled (see
// imaging::LivePreviewLayer). It redraws when the camera publishes a picture, never by polling.
//
// Threads: GUI thread, except the camera's frame listener, which only posts an update.

#include <atomic>
#include <cstdint>

#include <QQuickItem>

namespace imaging {
class LivePreviewLayer;
}

namespace ui {

class CameraPreviewItem : public QQuickItem {
    Q_OBJECT

public:
    explicit CameraPreviewItem(QQuickItem* parent = nullptr);
    ~CameraPreviewItem() override;

    // The preview to show; null shows nothing (the black behind). Outlives the item or is
    // replaced before it goes.
    void setPreview(imaging::LivePreviewLayer* preview);

protected:
    QSGNode* updatePaintNode(QSGNode* node, UpdatePaintNodeData* data) override;

private:
    imaging::LivePreviewLayer* m_preview { nullptr };
    std::uint64_t m_sequence { 0 }; // of the picture in the texture (render thread)
    std::atomic<bool> m_updatePosted { false };
};

} // namespace ui
