#pragma once

// Shows an image, stretched over the bounds (ScaleToFill) or fitted inside them keeping its
// aspect ratio (AspectFit).
//
// Threads: GUI thread only.

#include <QImage>

#include "platform/ui/View.h"

namespace platform {

class ImageView : public View {
public:
    enum class ContentMode { ScaleToFill, AspectFit };

    explicit ImageView(const QRectF& frame = {}, const QImage& image = {});

    QImage image() const { return m_image; }
    void setImage(const QImage& image);
    ContentMode contentMode() const { return m_contentMode; }
    void setContentMode(ContentMode mode);
    // The rectangle, in bounds coordinates, where the image is drawn.
    QRectF imageRect() const;

protected:
    void paintContent(QPainter& painter) const override;

private:
    QImage m_image;
    ContentMode m_contentMode { ContentMode::ScaleToFill };
};

} // namespace platform
