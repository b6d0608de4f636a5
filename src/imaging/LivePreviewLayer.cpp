#include "imaging/LivePreviewLayer.h"

#include <algorithm>

#include "platform/camera/StreamPreviewLayer.h"

namespace imaging {

LivePreviewLayer::LivePreviewLayer(std::shared_ptr<platform::VideoPreviewLayer> preview)
    : m_preview(std::move(preview))
    , m_stream(dynamic_cast<platform::StreamPreviewLayer*>(m_preview.get()))
{
}

LivePreviewLayer::~LivePreviewLayer()
{
    setFrameListener({});
}

bool LivePreviewLayer::isMirrored() const
{
    return m_preview && m_preview->isMirrored();
}

platform::PreviewFrame LivePreviewLayer::currentFrame() const
{
    return m_stream ? m_stream->currentFrame() : platform::PreviewFrame {};
}

void LivePreviewLayer::setFrameListener(std::function<void()> listener)
{
    if (m_stream)
        m_stream->setFrameListener(std::move(listener));
}

QTransform LivePreviewLayer::fitTransform(QSize picture, QSizeF view, bool mirrored)
{
    if (picture.isEmpty() || view.isEmpty())
        return {};
    // Turned upright, the frame's width runs down the view and its height across it.
    const qreal scale = std::max(view.height() / picture.width(), view.width() / picture.height());
    // About the picture's centre: +x onto +y (the first row ends up along the right edge), then
    // mirrored, scaled and put on the view's centre.
    QTransform fit = QTransform::fromTranslate(-picture.width() / 2.0, -picture.height() / 2.0);
    fit *= QTransform().rotate(90);
    if (mirrored)
        fit *= QTransform::fromScale(-1, 1);
    fit *= QTransform::fromScale(scale, scale);
    fit *= QTransform::fromTranslate(view.width() / 2, view.height() / 2);
    return fit;
}

} // namespace imaging
