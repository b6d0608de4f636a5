#include "platform/ui/ImageView.h"

#include <algorithm>

#include <QPainter>

namespace platform {

ImageView::ImageView(const QRectF& frame, const QImage& image)
    : View(frame)
    , m_image(image)
{
    setUserInteractionEnabled(false);
}

void ImageView::setImage(const QImage& image)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_image = image;
    setNeedsDisplay();
}

void ImageView::setContentMode(ContentMode mode)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (mode == m_contentMode)
        return;
    m_contentMode = mode;
    setNeedsDisplay();
}

QRectF ImageView::imageRect() const
{
    const QRectF b = bounds();
    if (m_image.isNull() || m_contentMode == ContentMode::ScaleToFill)
        return b;
    const qreal scale = std::min(b.width() / m_image.width(), b.height() / m_image.height());
    QRectF r(0, 0, m_image.width() * scale, m_image.height() * scale);
    r.moveCenter(b.center());
    return r;
}

void ImageView::paintContent(QPainter& painter) const
{
    if (m_image.isNull())
        return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(imageRect(), m_image);
    painter.restore();
}

} // namespace platform
