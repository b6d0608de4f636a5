#include "ui/CameraPreviewItem.h"

#include <QQuickWindow>
#include <QSGSimpleTextureNode>
#include <QSGTransformNode>

#include "imaging/LivePreviewLayer.h"

namespace ui {

CameraPreviewItem::CameraPreviewItem(QQuickItem* parent)
    : QQuickItem(parent)
{
    setFlag(ItemHasContents, true);
}

CameraPreviewItem::~CameraPreviewItem()
{
    setPreview(nullptr);
}

void CameraPreviewItem::setPreview(imaging::LivePreviewLayer* preview)
{
    if (m_preview)
        m_preview->setFrameListener({}); // returns once no call is running
    m_preview = preview;
    if (m_preview) {
        m_preview->setFrameListener([this] {
            // One update waiting is enough: it shows whatever picture is newest by then.
            if (!m_updatePosted.exchange(true))
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        m_updatePosted = false;
                        update();
                    },
                    Qt::QueuedConnection);
        });
    }
    update();
}

QSGNode* CameraPreviewItem::updatePaintNode(QSGNode* old, UpdatePaintNodeData*)
{
    // The GUI thread is blocked while this runs.
    const platform::PreviewFrame frame = m_preview ? m_preview->currentFrame() : platform::PreviewFrame {};
    if (frame.image.isNull() || width() <= 0 || height() <= 0) {
        delete old;
        m_sequence = 0;
        return nullptr;
    }
    auto* turn = static_cast<QSGTransformNode*>(old);
    if (!turn) {
        turn = new QSGTransformNode; // owned by the scene graph
        auto* picture = new QSGSimpleTextureNode;
        picture->setOwnsTexture(true);
        picture->setFiltering(QSGTexture::Linear);
        turn->appendChildNode(picture);
        m_sequence = 0;
    }
    auto* picture = static_cast<QSGSimpleTextureNode*>(turn->firstChild());
    if (frame.sequence != m_sequence) {
        picture->setTexture(window()->createTextureFromImage(frame.image));
        picture->setRect(QRectF(QPointF(0, 0), frame.image.size()));
        m_sequence = frame.sequence;
    }
    const QTransform fit
        = imaging::LivePreviewLayer::fitTransform(frame.image.size(), size(), frame.mirrored);
    turn->setMatrix(QMatrix4x4(fit));
    return turn;
}

} // namespace ui
