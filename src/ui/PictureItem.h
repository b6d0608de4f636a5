#pragma once

// A picture drawn by the scene graph: the image becomes a texture when it changes and is drawn
// stretched over the item, so the GPU (or Qt Quick's software renderer) composes it with the
// rest of the screen. With `smooth` off it is sampled nearest-neighbour, pixels kept square.
//
// Threads: setImage on the GUI thread; postImage from any thread (the newest picture wins and is
// shown at the next frame).

#include <QImage>
#include <QMutex>
#include <QQuickItem>

namespace ui {

class PictureItem : public QQuickItem {
    Q_OBJECT
    Q_PROPERTY(QImage image READ image WRITE setImage NOTIFY imageChanged)
    Q_PROPERTY(QSize imageSize READ imageSize NOTIFY imageChanged)

public:
    explicit PictureItem(QQuickItem* parent = nullptr);

    QImage image() const;
    QSize imageSize() const { return image().size(); }
    void setImage(const QImage& image);
    void postImage(QImage image);

signals:
    void imageChanged();

protected:
    QSGNode* updatePaintNode(QSGNode* node, UpdatePaintNodeData* data) override;

private:
    mutable QMutex m_lock; // postImage's thread against the GUI and render threads
    QImage m_image;
    bool m_imageChanged { false };
};

} // namespace ui
