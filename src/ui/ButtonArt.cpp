#include "ui/ButtonArt.h"

#include <cmath>

#include <QPainter>
#include <QPainterPath>

namespace ui {

namespace {

// An image of points × scale pixels whose painter works in a 100 × 100 design grid.
struct Canvas {
    Canvas(qreal points, qreal scale)
        : image(QSize(std::max(1, qRound(points * scale)), std::max(1, qRound(points * scale))),
            QImage::Format_ARGB32_Premultiplied)
    {
        image.fill(Qt::transparent);
        painter.begin(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(image.width() / 100.0, image.height() / 100.0);
    }
    QImage finish()
    {
        painter.end();
        return image;
    }
    QImage image;
    QPainter painter;
};

QPen whitePen(qreal width)
{
    QPen pen(Qt::white, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

} // namespace

QImage ButtonArt::shutter(qreal points, qreal scale)
{
    Canvas c(points, scale);
    c.painter.setPen(whitePen(7));
    c.painter.setBrush(Qt::NoBrush);
    c.painter.drawEllipse(QPointF(50, 50), 45, 45);
    // A faint shadow ring keeps the disc readable over a bright picture.
    c.painter.setPen(QPen(QColor(0, 0, 0, 70), 2));
    c.painter.drawEllipse(QPointF(50, 50), 38, 38);
    c.painter.setPen(Qt::NoPen);
    QRadialGradient face(QPointF(44, 40), 44);
    face.setColorAt(0, QColor(255, 255, 255));
    face.setColorAt(1, QColor(222, 226, 230));
    c.painter.setBrush(face);
    c.painter.drawEllipse(QPointF(50, 50), 36, 36);
    return c.finish();
}

QImage ButtonArt::videoShutter(qreal points, qreal scale, bool recording)
{
    Canvas c(points, scale);
    c.painter.setPen(whitePen(7));
    c.painter.setBrush(Qt::NoBrush);
    c.painter.drawEllipse(QPointF(50, 50), 45, 45);
    c.painter.setPen(Qt::NoPen);
    c.painter.setBrush(QColor(232, 38, 38));
    if (recording)
        c.painter.drawRoundedRect(QRectF(32, 32, 36, 36), 6, 6);
    else
        c.painter.drawEllipse(QPointF(50, 50), 36, 36);
    return c.finish();
}

QImage ButtonArt::captureMode(qreal points, qreal scale, bool video)
{
    Canvas c(points, scale);
    c.painter.setPen(whitePen(6));
    c.painter.setBrush(Qt::NoBrush);
    if (video) {
        // A video camera: the body and the lens hood beside it.
        c.painter.drawRoundedRect(QRectF(12, 32, 54, 38), 7, 7);
        QPainterPath hood;
        hood.moveTo(66, 45);
        hood.lineTo(88, 33);
        hood.lineTo(88, 69);
        hood.lineTo(66, 57);
        c.painter.drawPath(hood);
        c.painter.setPen(Qt::NoPen);
        c.painter.setBrush(QColor(232, 38, 38));
        c.painter.drawEllipse(QPointF(26, 44), 5, 5);
        return c.finish();
    }
    // A still camera: body, view-finder bump and lens.
    QPainterPath body;
    body.addRoundedRect(QRectF(14, 32, 72, 48), 8, 8);
    body.addRoundedRect(QRectF(36, 22, 28, 12), 3, 3);
    c.painter.drawPath(body.simplified());
    c.painter.drawEllipse(QPointF(50, 56), 14, 14);
    return c.finish();
}

QImage ButtonArt::torch(qreal points, qreal scale)
{
    Canvas c(points, scale);
    QPainterPath bolt;
    bolt.moveTo(57, 14);
    bolt.lineTo(28, 56);
    bolt.lineTo(47, 56);
    bolt.lineTo(41, 86);
    bolt.lineTo(72, 42);
    bolt.lineTo(52, 42);
    bolt.closeSubpath();
    c.painter.setPen(whitePen(4));
    c.painter.setBrush(QColor(255, 214, 64));
    c.painter.drawPath(bolt);
    return c.finish();
}

QImage ButtonArt::cameraSwitch(qreal points, qreal scale)
{
    Canvas c(points, scale);
    c.painter.setPen(whitePen(6));
    c.painter.setBrush(Qt::NoBrush);
    // Body and view-finder bump.
    QPainterPath body;
    body.addRoundedRect(QRectF(16, 32, 68, 46), 8, 8);
    body.addRoundedRect(QRectF(38, 24, 24, 10), 3, 3);
    c.painter.drawPath(body.simplified());
    // Two arrows turning round the lens.
    const QRectF ring(34, 39, 32, 32);
    c.painter.setPen(whitePen(5));
    c.painter.drawArc(ring, 30 * 16, 140 * 16);
    c.painter.drawArc(ring, 210 * 16, 140 * 16);
    auto arrowHead = [&](qreal degrees, qreal direction) {
        const qreal a = qDegreesToRadians(degrees);
        const QPointF tip(50 + 16 * std::cos(a), 55 - 16 * std::sin(a));
        // Tangent of a counter-clockwise turn, pointing the way the arrow travels.
        const QPointF along(-std::sin(a) * direction, -std::cos(a) * direction);
        const QPointF across(std::cos(a), -std::sin(a));
        c.painter.drawLine(tip, tip - along * 7 + across * 6);
        c.painter.drawLine(tip, tip - along * 7 - across * 6);
    };
    arrowHead(170, 1);
    arrowHead(350, 1);
    return c.finish();
}

QImage ButtonArt::grid(qreal points, qreal scale)
{
    Canvas c(points, scale);
    c.painter.setPen(whitePen(5));
    c.painter.setBrush(Qt::NoBrush);
    c.painter.drawEllipse(QPointF(50, 50), 32, 32);
    // Cross hair with a gap in the middle, and ticks outside the ring.
    c.painter.drawLine(QPointF(50, 10), QPointF(50, 40));
    c.painter.drawLine(QPointF(50, 60), QPointF(50, 90));
    c.painter.drawLine(QPointF(10, 50), QPointF(40, 50));
    c.painter.drawLine(QPointF(60, 50), QPointF(90, 50));
    c.painter.setPen(Qt::NoPen);
    c.painter.setBrush(QColor(120, 255, 120));
    c.painter.drawEllipse(QPointF(50, 50), 5, 5);
    return c.finish();
}

QImage ButtonArt::nightMode(qreal points, qreal scale, bool on)
{
    Canvas c(points, scale);
    // The crescent: a disc with a smaller one bitten out of its upper right.
    QPainterPath disc;
    disc.addEllipse(QPointF(46, 54), 32, 32);
    QPainterPath bite;
    bite.addEllipse(QPointF(64, 40), 27, 27);
    const QPainterPath crescent = disc.subtracted(bite);
    c.painter.setPen(whitePen(5));
    c.painter.setBrush(on ? QBrush(QColor(120, 255, 120)) : QBrush(Qt::NoBrush));
    c.painter.drawPath(crescent);
    // Two four-pointed stars in the bite, the larger one higher.
    auto star = [&](QPointF centre, qreal size) {
        QPainterPath path;
        path.moveTo(centre + QPointF(0, -size));
        path.quadTo(centre, centre + QPointF(size, 0));
        path.quadTo(centre, centre + QPointF(0, size));
        path.quadTo(centre, centre + QPointF(-size, 0));
        path.quadTo(centre, centre + QPointF(0, -size));
        c.painter.setPen(Qt::NoPen);
        c.painter.setBrush(Qt::white);
        c.painter.drawPath(path);
    };
    star(QPointF(70, 25), 11);
    star(QPointF(82, 50), 7);
    return c.finish();
}

QImage ButtonArt::selfTimer(qreal points, qreal scale, int seconds)
{
    Canvas c(points, scale);
    // A stopwatch: the dial, the crown on top, one hand; set, the seconds in the reticle's green.
    c.painter.setPen(whitePen(6));
    c.painter.setBrush(Qt::NoBrush);
    c.painter.drawEllipse(QPointF(50, 56), 32, 32);
    c.painter.drawLine(QPointF(50, 24), QPointF(50, 14));
    c.painter.drawLine(QPointF(40, 12), QPointF(60, 12));
    if (seconds <= 0) {
        c.painter.drawLine(QPointF(50, 56), QPointF(50, 36));
        c.painter.drawLine(QPointF(50, 56), QPointF(64, 56));
        return c.finish();
    }
    QFont font(QStringLiteral("Liberation Sans"));
    font.setBold(true);
    font.setPixelSize(seconds >= 10 ? 34 : 42);
    c.painter.setFont(font);
    c.painter.setPen(QColor(120, 255, 120));
    c.painter.drawText(QRectF(18, 24, 64, 64), Qt::AlignCenter, QString::number(seconds));
    return c.finish();
}

QImage ButtonArt::albumPlaceholder(qreal points, qreal scale)
{
    Canvas c(points, scale);
    c.painter.setPen(QPen(QColor(255, 255, 255, 170), 4));
    c.painter.setBrush(Qt::NoBrush);
    c.painter.drawRoundedRect(QRectF(20, 26, 60, 48), 6, 6);
    QPainterPath hills;
    hills.moveTo(24, 70);
    hills.lineTo(42, 48);
    hills.lineTo(54, 62);
    hills.lineTo(62, 54);
    hills.lineTo(76, 70);
    hills.closeSubpath();
    c.painter.setPen(Qt::NoPen);
    c.painter.setBrush(QColor(255, 255, 255, 140));
    c.painter.drawPath(hills);
    c.painter.drawEllipse(QPointF(64, 38), 5, 5);
    return c.finish();
}

QImage ButtonArt::named(const QString& name, qreal points, qreal scale)
{
    // A symbol larger than a screen is a mistake, not a picture worth drawing.
    if (!(points > 0 && points <= 512 && scale > 0 && scale <= 8))
        return {};
    if (name == QLatin1String("shutter"))
        return shutter(points, scale);
    if (name == QLatin1String("shutter-video") || name == QLatin1String("shutter-stop"))
        return videoShutter(points, scale, name.endsWith(QLatin1String("-stop")));
    if (name == QLatin1String("captureMode-photo") || name == QLatin1String("captureMode-video"))
        return captureMode(points, scale, name.endsWith(QLatin1String("-video")));
    if (name == QLatin1String("torch"))
        return torch(points, scale);
    if (name == QLatin1String("cameraSwitch"))
        return cameraSwitch(points, scale);
    if (name == QLatin1String("nightMode-on") || name == QLatin1String("nightMode-off"))
        return nightMode(points, scale, name.endsWith(QLatin1String("-on")));
    if (name == QLatin1String("grid"))
        return grid(points, scale);
    if (name == QLatin1String("albumPlaceholder"))
        return albumPlaceholder(points, scale);
    if (name.startsWith(QLatin1String("selfTimer-")))
        return selfTimer(points, scale, name.mid(10).toInt());
    return {};
}

} // namespace ui
