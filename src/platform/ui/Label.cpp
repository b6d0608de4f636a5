#include "platform/ui/Label.h"

#include <QFontMetricsF>
#include <QPainter>

#include "platform/ui/Font.h"

namespace platform {

Label::Label(const QRectF& frame, const QString& text)
    : View(frame)
    , m_text(text)
    , m_font(Font::systemFont(17))
{
}

void Label::setText(const QString& text)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (text == m_text)
        return;
    m_text = text;
    setNeedsDisplay();
}

void Label::setFont(const QFont& font)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (font == m_font)
        return;
    m_font = font;
    setNeedsDisplay();
}

void Label::setTextColor(const QColor& color)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (color == m_textColor)
        return;
    m_textColor = color;
    setNeedsDisplay();
}

void Label::setTextAlignment(int alignment)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (alignment < AlignmentLeft || alignment > AlignmentRight || alignment == m_alignment)
        return;
    m_alignment = alignment;
    setNeedsDisplay();
}

void Label::paintContent(QPainter& painter) const
{
    if (m_text.isEmpty() || m_textColor.alpha() == 0)
        return;
    const QRectF b = bounds();
    const QFontMetricsF metrics(m_font);
    const QString shown = metrics.elidedText(m_text, Qt::ElideRight, b.width());
    const Qt::Alignment horizontal = m_alignment == AlignmentCenter ? Qt::AlignHCenter
        : m_alignment == AlignmentRight                             ? Qt::AlignRight
                                                                    : Qt::AlignLeft;
    painter.save();
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(m_font);
    painter.setPen(m_textColor);
    painter.drawText(b, int(horizontal | Qt::AlignVCenter | Qt::TextSingleLine), shown);
    painter.restore();
}

} // namespace platform
