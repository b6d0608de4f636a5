#include "ui/ButtonArtProvider.h"

#include <QStringList>

#include "ui/ButtonArt.h"

namespace ui {

ButtonArtProvider::ButtonArtProvider()
    : QQuickImageProvider(QQuickImageProvider::Image)
{
}

QImage ButtonArtProvider::requestImage(const QString& id, QSize* size, const QSize&)
{
    const QStringList parts = id.split(QLatin1Char('/'));
    bool pointsOk = false, scaleOk = false;
    const qreal points = parts.value(1).toDouble(&pointsOk);
    const qreal scale = parts.value(2).toDouble(&scaleOk);
    QImage art;
    // A symbol larger than a screen is a broken id, not a picture worth drawing.
    if (pointsOk && scaleOk && points > 0 && points <= 512 && scale > 0 && scale <= 8) {
        const QString& name = parts.first();
        if (name == QLatin1String("shutter"))
            art = ButtonArt::shutter(points, scale);
        else if (name == QLatin1String("torch"))
            art = ButtonArt::torch(points, scale);
        else if (name == QLatin1String("cameraSwitch"))
            art = ButtonArt::cameraSwitch(points, scale);
        else if (name == QLatin1String("nightMode-on") || name == QLatin1String("nightMode-off"))
            art = ButtonArt::nightMode(points, scale, name.endsWith(QLatin1String("-on")));
        else if (name == QLatin1String("grid"))
            art = ButtonArt::grid(points, scale);
        else if (name == QLatin1String("albumPlaceholder"))
            art = ButtonArt::albumPlaceholder(points, scale);
    }
    if (size)
        *size = art.size();
    return art;
}

} // namespace ui
