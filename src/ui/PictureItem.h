#pragma once

// A picture drawn by the scene graph: the image becomes a texture when it changes and is drawn
// stretched over the item, so the GPU (or Qt Quick's software renderer) composes it with the
// rest of the screen. With `smooth` off it is sampled nearest-neighbour, pixels kept square.
//
// Threads: GUI thread (the render thread reads the image while the GUI thread waits).

#include <QImage>
#include <QQuickItem>

namespace ui {

class PictureItem : public QQuickItem {
    Q_OBJECT
    Q_PROPERTY(QImage image READ image WRITE setImage NOTIFY imageChanged)
    Q_PROPERTY(QSize imageSize READ imageSize NOTIFY imageChanged)

public:
    explicit PictureItem(QQuickItem* parent = nullptr);

    QImage image() const { return m_image; }
    QSize imageSize() const { return m_image.size(); }
    void setImage(const QImage& image);

signals:
    void imageChanged();

protected:
    QSGNode* updatePaintNode(QSGNode* node, UpdatePaintNodeData* data) override;

private:
    QImage m_image;
    bool m_imageChanged { false };
};

} // namespace ui
