#include "imaging/LivePreviewLayer.h"

#include <algorithm>

#include <QColor>
#include <QTimer>
#include <QTransform>

#include "platform/camera/StreamPreviewLayer.h"
#include "platform/graphics/Layer.h"

namespace imaging {

LivePreviewLayer::LivePreviewLayer(std::shared_ptr<platform::VideoPreviewLayer> preview)
    : m_preview(std::move(preview))
    , m_stream(dynamic_cast<platform::StreamPreviewLayer*>(m_preview.get()))
    , m_layer(platform::Layer::create())
    , m_picture(platform::Layer::create())
{
    m_layer->setBackgroundColor(Qt::black);
    m_layer->setMasksToBounds(true);
    m_picture->setHidden(true);
    m_layer->addSublayer(m_picture);
}

LivePreviewLayer::~LivePreviewLayer() = default;

bool LivePreviewLayer::isMirrored() const
{
    return m_preview && m_preview->isMirrored();
}

void LivePreviewLayer::setFrame(const QRectF& frame)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_layer->setFrame(frame);
    fitPicture();
}

bool LivePreviewLayer::refresh()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_stream)
        return false;
    const platform::PreviewFrame frame = m_stream->currentFrame();
    if (frame.sequence == m_shownSequence)
        return false;
    m_shownSequence = frame.sequence;
    const bool turned = frame.mirrored != m_shownMirrored;
    m_shownMirrored = frame.mirrored;
    if (frame.image.isNull()) { // a stopped session shows nothing
        m_picture->setHidden(true);
        m_picture->setContents(QImage());
        return true;
    }
    const bool resized = m_picture->contents().size() != frame.image.size();
    m_picture->setContents(frame.image); // shared, not copied
    if (resized || turned || m_picture->isHidden())
        fitPicture();
    m_picture->setHidden(false);
    return true;
}

void LivePreviewLayer::fitPicture()
{
    const QSize size = m_picture->contents().size();
    const QRectF view = m_layer->bounds();
    if (size.isEmpty() || view.isEmpty())
        return;
    // Turned upright, the frame's width runs down the view and its height across it.
    const qreal scale = std::max(view.height() / size.width(), view.width() / size.height());
    QTransform turn;
    turn.rotate(90); // +x onto +y: the first row ends up along the right edge
    if (m_shownMirrored)
        turn = turn * QTransform::fromScale(-1, 1);
    m_picture->setAffineTransform(QTransform());
    m_picture->setBounds(QRectF(0, 0, size.width() * scale, size.height() * scale));
    m_picture->setPosition(view.center());
    m_picture->setAffineTransform(turn);
}

void LivePreviewLayer::startAutoRefresh()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_refreshTimer)
        return;
    m_refreshTimer = std::make_unique<QTimer>();
    m_refreshTimer->setInterval(16);
    QObject::connect(m_refreshTimer.get(), &QTimer::timeout, m_refreshTimer.get(), [this] { refresh(); });
    m_refreshTimer->start();
}

} // namespace imaging
