#pragma once

// One line of text in a view. Alignment codes: 0 left, 1 centre, 2 right; the text is centred
// vertically and elided at the right when it does not fit. The background is clear by default.
//
// Threads: GUI thread only.

#include <QColor>
#include <QFont>
#include <QString>

#include "platform/ui/View.h"

namespace platform {

class Label : public View {
public:
    enum Alignment { AlignmentLeft = 0, AlignmentCenter = 1, AlignmentRight = 2 };

    explicit Label(const QRectF& frame = {}, const QString& text = {});

    QString text() const { return m_text; }
    void setText(const QString& text);
    QFont font() const { return m_font; }
    void setFont(const QFont& font);
    QColor textColor() const { return m_textColor; }
    void setTextColor(const QColor& color);
    int textAlignment() const { return m_alignment; }
    void setTextAlignment(int alignment);

protected:
    void paintContent(QPainter& painter) const override;

private:
    QString m_text;
    QFont m_font;
    QColor m_textColor { Qt::black };
    int m_alignment { AlignmentLeft };
};

} // namespace platform
