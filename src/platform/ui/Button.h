#pragma once

// A push button: a title over an optional image. Touch-up-inside is its tap. Disabled it draws
// faded, pressed it draws dimmed, selected it draws a light tint behind its content.
//
// Threads: GUI thread only.

#include <QColor>
#include <QImage>
#include <QString>

#include "platform/ui/Control.h"

namespace platform {

class ImageView;
class Label;

class Button : public Control {
public:
    explicit Button(const QRectF& frame = {}, const QString& title = {});

    QString title() const;
    void setTitle(const QString& title);
    QColor titleColor() const;
    void setTitleColor(const QColor& color);
    QImage image() const;
    // Shown fitted inside the bounds, under the title.
    void setImage(const QImage& image);
    ImageView& imageView() const { return *m_imageView; }
    Label& titleLabel() const { return *m_titleLabel; }

    // Keeps the image and title covering the bounds when the button is resized.
    void layoutContent();

protected:
    void paintContent(QPainter& painter) const override;
    qreal contentOpacity() const override;

private:
    ImageView* m_imageView { nullptr }; // owned as a subview
    Label* m_titleLabel { nullptr }; // owned as a subview
};

} // namespace platform
