#include "platform/ui/Button.h"

#include <QPainter>
#include <QPainterPath>

#include "platform/graphics/Layer.h"
#include "platform/ui/Font.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"

namespace platform {

Button::Button(const QRectF& frame, const QString& title)
{
    setFrame(frame);
    auto imageView = std::make_unique<ImageView>();
    imageView->setContentMode(ImageView::ContentMode::AspectFit);
    imageView->setHidden(true);
    m_imageView = static_cast<ImageView*>(addSubview(std::move(imageView)));
    auto label = std::make_unique<Label>(QRectF(), title);
    label->setTextAlignment(Label::AlignmentCenter);
    label->setFont(Font::boldSystemFont(15));
    label->setTextColor(QColor(0x1f, 0x5f, 0xbf));
    label->setUserInteractionEnabled(false);
    m_titleLabel = static_cast<Label*>(addSubview(std::move(label)));
    layoutContent();
}

void Button::layoutContent()
{
    const QRectF b = bounds();
    m_imageView->setFrame(b);
    m_titleLabel->setFrame(b.adjusted(4, 0, -4, 0));
}

QString Button::title() const
{
    return m_titleLabel->text();
}
void Button::setTitle(const QString& title)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_titleLabel->setText(title);
}
QColor Button::titleColor() const
{
    return m_titleLabel->textColor();
}
void Button::setTitleColor(const QColor& color)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_titleLabel->setTextColor(color);
}
QImage Button::image() const
{
    return m_imageView->image();
}

void Button::setImage(const QImage& image)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_imageView->setImage(image);
    m_imageView->setHidden(image.isNull());
    layoutContent();
}

void Button::paintContent(QPainter& painter) const
{
    if (!isSelected())
        return;
    const qreal radius = layer().cornerRadius();
    QPainterPath shape;
    shape.addRoundedRect(bounds(), radius, radius);
    painter.fillPath(shape, QColor(255, 255, 255, 90));
}

qreal Button::contentOpacity() const
{
    if (!isEnabled())
        return 0.4;
    return isHighlighted() ? 0.6 : 1.0;
}

} // namespace platform
