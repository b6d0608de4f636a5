#include "ui/PictureItem.h"

#include <QQuickWindow>
#include <QSGSimpleTextureNode>

namespace ui {

PictureItem::PictureItem(QQuickItem* parent)
    : QQuickItem(parent)
{
    setFlag(ItemHasContents, true);
}

void PictureItem::setImage(const QImage& image)
{
    m_image = image;
    m_imageChanged = true;
    emit imageChanged();
    update();
}

QSGNode* PictureItem::updatePaintNode(QSGNode* old, UpdatePaintNodeData*)
{
    // The GUI thread is blocked while this runs on the render thread.
    auto* node = static_cast<QSGSimpleTextureNode*>(old);
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
