#include "ui/PictureItem.h"

#include <QMetaObject>
#include <QQuickWindow>
#include <QSGSimpleTextureNode>

namespace ui {

PictureItem::PictureItem(QQuickItem* parent)
    : QQuickItem(parent)
{
    setFlag(ItemHasContents, true);
}

QImage PictureItem::image() const
{
    QMutexLocker locker(&m_lock);
    return m_image;
}

void PictureItem::setImage(const QImage& image)
{
    {
        QMutexLocker locker(&m_lock);
        m_image = image;
        m_imageChanged = true;
    }
    emit imageChanged();
    update();
}

void PictureItem::postImage(QImage image)
{
    // Queued to the item's thread: update() and the signal belong there.
    QMetaObject::invokeMethod(
        this, [this, image = std::move(image)] { setImage(image); }, Qt::QueuedConnection);
}

QSGNode* PictureItem::updatePaintNode(QSGNode* old, UpdatePaintNodeData*)
{
    // The GUI thread is blocked while this runs on the render thread.
    auto* node = static_cast<QSGSimpleTextureNode*>(old);
    QMutexLocker locker(&m_lock);
    if (m_image.isNull() || width() <= 0 || height() <= 0) {
        delete node;
        return nullptr;
    }
    if (!node) {
        node = new QSGSimpleTextureNode; // owned by the scene graph
        node->setOwnsTexture(true);
        m_imageChanged = true;
    }
    if (m_imageChanged) {
        node->setTexture(window()->createTextureFromImage(m_image));
        m_imageChanged = false;
    }
    node->setFiltering(smooth() ? QSGTexture::Linear : QSGTexture::Nearest);
    node->setRect(boundingRect());
    return node;
}

} // namespace ui
