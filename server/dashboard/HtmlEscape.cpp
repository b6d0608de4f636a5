#include "HtmlEscape.h"

namespace collector {

namespace {

constexpr char16_t replacement = u'\uFFFD';

bool allowedControl(char16_t c)
{
    return c == u'\t' || c == u'\n' || c == u'\r';
}

} // namespace

QString htmlEscape(QStringView text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        switch (c) {
        case u'&':
            out += QLatin1String("&amp;");
            continue;
        case u'<':
            out += QLatin1String("&lt;");
            continue;
        case u'>':
            out += QLatin1String("&gt;");
            continue;
        case u'"':
            out += QLatin1String("&quot;");
            continue;
        case u'\'':
            out += QLatin1String("&#39;");
            continue;
        default:
            break;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < text.size()
            && QChar::isLowSurrogate(text[i + 1].unicode())) {
            out += text.mid(i, 2);
            ++i;
        } else if ((c < 0x20 && !allowedControl(c)) || (c >= 0x7F && c < 0xA0) || QChar::isSurrogate(c)
            || c == 0xFFFE || c == 0xFFFF) {
            out += QChar(replacement);
        } else {
            out += QChar(c);
        }
    }
    return out;
}

QString shortened(const QString& text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    qsizetype cut = length - 1;
    if (cut > 0 && text[cut - 1].isHighSurrogate())
        --cut;
    return text.left(cut) + QChar(u'\u2026');
}

} // namespace collector
