#include "platform/ui/Font.h"

#include <QFontDatabase>

namespace platform {

namespace {

QFont makeFont(qreal size, bool bold)
{
    // A humanist sans with wide coverage; Qt falls back on its own when it is missing.
    static const QString family = QFontDatabase::hasFamily(QStringLiteral("Liberation Sans"))
        ? QStringLiteral("Liberation Sans")
        : QStringLiteral("DejaVu Sans");
    QFont font(family);
    font.setPixelSize(std::max(1, qRound(size)));
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

} // namespace

QFont Font::systemFont(qreal size)
{
    return makeFont(size, false);
}
QFont Font::boldSystemFont(qreal size)
{
    return makeFont(size, true);
}

} // namespace platform
