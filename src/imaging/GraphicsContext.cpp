#include "imaging/GraphicsContext.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <QFontDatabase>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>

namespace imaging {

namespace {

constexpr qreal kTwoPi = 2.0 * std::numbers::pi;

bool isFinite(std::initializer_list<qreal> values)
{
    return std::all_of(values.begin(), values.end(), [](qreal v) { return std::isfinite(v); });
}

bool isFinite(const QRectF& r)
{
    return isFinite({ r.x(), r.y(), r.width(), r.height() });
}

// Signed sweep in radians from the start angle, in the direction the flag asks for.
qreal arcSweep(qreal startAngle, qreal endAngle, bool clockwise)
{
    const qreal delta = clockwise ? startAngle - endAngle : endAngle - startAngle;
    qreal sweep = kTwoPi;
    if (delta < kTwoPi) {
        sweep = std::fmod(delta, kTwoPi);
        if (sweep < 0)
            sweep += kTwoPi;
    }
    return clockwise ? -sweep : sweep;
}

} // namespace

GraphicsContext::GraphicsContext(QPainter& painter, const QTransform& baseCTM)
    : m_painter(&painter)
{
    initState(baseCTM * painter.worldTransform());
}

void GraphicsContext::initState(const QTransform& baseCTM)
{
    m_usingThread.detach(); // a context may be made on one thread and drawn with on another
    m_painter->save();
    m_state.ctm = baseCTM;
    m_state.font = resolveFont(QStringLiteral("Helvetica"));
    const QPaintDevice* device = m_painter->device();
    m_state.clipDeviceBounds = device ? QRectF(0, 0, device->width(), device->height()) : QRectF();
}

GraphicsContext::~GraphicsContext()
{
    for (size_t i = 0; i < m_stack.size(); ++i)
        m_painter->restore();
    m_painter->restore();
}

void GraphicsContext::saveGState()
{
    LUMIVUE_CHECK_THREAD(m_usingThread);
    m_stack.push_back(m_state);
    m_painter->save();
}

void GraphicsContext::restoreGState()
{
    LUMIVUE_CHECK_THREAD(m_usingThread);
    if (m_stack.empty())
        return; // unbalanced restore: keep the current state rather than corrupt the painter's
    m_state = std::move(m_stack.back());
    m_stack.pop_back();
    m_painter->restore();
}

void GraphicsContext::translateCTM(qreal tx, qreal ty)
{
    concatCTM(QTransform::fromTranslate(tx, ty));
}

void GraphicsContext::rotateCTM(qreal radians)
{
    // Built from sin/cos of the radians directly: converting to degrees first would lose the
    // exactness of the caller's angle.
    const qreal c = std::cos(radians);
    const qreal s = std::sin(radians);
    concatCTM(QTransform(c, s, -s, c, 0, 0));
}

void GraphicsContext::concatCTM(const QTransform& transform)
{
    m_state.ctm = transform * m_state.ctm;
}

void GraphicsContext::setLineWidth(qreal width)
{
    if (std::isfinite(width) && width >= 0)
        m_state.lineWidth = width;
}

void GraphicsContext::setLineDash(qreal phase, const std::vector<qreal>& lengths)
{
    qreal total = 0;
    bool valid = std::isfinite(phase);
    for (qreal length : lengths) {
        valid = valid && std::isfinite(length) && length >= 0;
        total += length;
    }
    if (!valid || !(total > 0)) {
        m_state.dashLengths.clear();
        m_state.dashPhase = 0;
        return;
    }
    m_state.dashLengths = lengths;
    m_state.dashPhase = phase;
}

void GraphicsContext::beginPath()
{
    m_path = QPainterPath();
    m_hasCurrentPoint = false;
}

void GraphicsContext::moveTo(qreal x, qreal y)
{
    if (!isFinite({ x, y }))
        return;
    m_path.moveTo(m_state.ctm.map(QPointF(x, y)));
    m_hasCurrentPoint = true;
}

void GraphicsContext::addLineTo(qreal x, qreal y)
{
    if (!isFinite({ x, y }) || !m_hasCurrentPoint)
        return; // a line needs a current point
    m_path.lineTo(m_state.ctm.map(QPointF(x, y)));
}

void GraphicsContext::addArc(qreal x, qreal y, qreal radius, qreal startAngle, qreal endAngle, bool clockwise)
{
    if (!isFinite({ x, y, radius, startAngle, endAngle }) || radius < 0)
        return;
    const qreal sweep = arcSweep(startAngle, endAngle, clockwise);
    // QPainterPath angles are degrees turning from +x away from +y; the arc's own angles turn
    // from +x towards +y, hence the negated angles.
    const QRectF square(x - radius, y - radius, 2 * radius, 2 * radius);
    const qreal startDegrees = -startAngle * 180.0 / std::numbers::pi;
    QPainterPath user;
    user.arcMoveTo(square, startDegrees);
    user.arcTo(square, startDegrees, -sweep * 180.0 / std::numbers::pi);
    appendUserPath(user, m_hasCurrentPoint);
}

void GraphicsContext::appendUserPath(const QPainterPath& userPath, bool connect)
{
    // Copied element by element: QPainterPath::connectPath would drop a lone leading moveTo, and
    // with it the line from the current point.
    const QPainterPath device = m_state.ctm.map(userPath);
    for (int i = 0; i < device.elementCount(); ++i) {
        const QPainterPath::Element e = device.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            if (i == 0 && connect)
                m_path.lineTo(e.x, e.y);
            else
                m_path.moveTo(e.x, e.y);
            break;
        case QPainterPath::LineToElement:
            m_path.lineTo(e.x, e.y);
            break;
        case QPainterPath::CurveToElement:
            if (i + 2 < device.elementCount()) {
                const QPainterPath::Element c2 = device.elementAt(i + 1);
                const QPainterPath::Element end = device.elementAt(i + 2);
                m_path.cubicTo(QPointF(e.x, e.y), QPointF(c2.x, c2.y), QPointF(end.x, end.y));
                i += 2;
            }
            break;
        case QPainterPath::CurveToDataElement:
            break; // consumed with its CurveToElement
        }
    }
    m_hasCurrentPoint = true;
}

void GraphicsContext::preparePainter(bool forImage)
{
    LUMIVUE_CHECK_THREAD(m_usingThread);
    m_painter->setWorldTransform(m_state.ctm);
    m_painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    m_painter->setOpacity(1.0);
    m_painter->setRenderHint(QPainter::Antialiasing, true);
    m_painter->setRenderHint(QPainter::TextAntialiasing, true);
    m_painter->setRenderHint(
        QPainter::SmoothPixmapTransform, forImage && m_state.interpolation != InterpolationQuality::None);
}

void GraphicsContext::strokePath()
{
    bool invertible = false;
    const QTransform inverse = m_state.ctm.inverted(&invertible);
    if (invertible && !m_path.isEmpty()) {
        preparePainter(false);
        QPen pen(m_state.strokeColor, m_state.lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        // A miter limit of 10 line widths measured tip to inner corner, as Qt measures it from
        // the join point in pen widths.
        pen.setMiterLimit(5.0);
        if (!m_state.dashLengths.empty()) {
            // Qt reads dash lengths and offset in pen widths; ours are user units.
            const qreal unit = m_state.lineWidth > 0 ? m_state.lineWidth : 1.0;
            QList<qreal> pattern;
            for (qreal length : m_state.dashLengths)
                pattern.append(length / unit);
            if (pattern.size() % 2 != 0)
                pattern.append(pattern); // an odd list repeats to pair every dash with a gap
            pen.setDashPattern(pattern);
            pen.setDashOffset(m_state.dashPhase / unit);
        }
        m_painter->setPen(pen);
        m_painter->setBrush(Qt::NoBrush);
        m_painter->drawPath(inverse.map(m_path));
    }
    beginPath();
}

void GraphicsContext::clipToRect(const QRectF& rect)
{
    LUMIVUE_CHECK_THREAD(m_usingThread);
    if (!isFinite(rect))
        return;
    const QRectF normalized = rect.normalized();
    m_state.clipDeviceBounds &= m_state.ctm.mapRect(normalized);
    m_painter->setWorldTransform(m_state.ctm);
    m_painter->setClipRect(normalized, Qt::IntersectClip);
}

QRectF GraphicsContext::clipBoundingBox() const
{
    bool invertible = false;
    const QTransform inverse = m_state.ctm.inverted(&invertible);
    return invertible ? inverse.mapRect(m_state.clipDeviceBounds) : QRectF();
}

void GraphicsContext::selectFont(const QString& name, qreal size)
{
    m_state.font = resolveFont(name);
    m_state.fontSize = size;
}

void GraphicsContext::showTextAtPoint(qreal x, qreal y, const QString& text)
{
    if (text.isEmpty() || !isFinite({ x, y }) || !(m_state.fontSize > 0) || !std::isfinite(m_state.fontSize))
        return;
    QFont font = m_state.font;
    const QPaintDevice* device = m_painter->device();
    const int dpi = device && device->logicalDpiY() > 0 ? device->logicalDpiY() : 72;
    // The size is in user units: at this point size the font is fontSize device pixels high
    // before the CTM scales it.
    font.setPointSizeF(m_state.fontSize * 72.0 / dpi);

    // Glyphs go up along user -y when the user space keeps the device's handedness, and along
    // user +y when the CTM reflects it; either way they read upright and unmirrored.
    const qreal up = m_state.ctm.determinant() < 0 ? -1.0 : 1.0;
    preparePainter(false);
    m_painter->setWorldTransform(QTransform(1, 0, 0, up, x, y) * m_state.ctm);
    m_painter->setFont(font);
    m_painter->setPen(m_state.fillColor);
    m_painter->drawText(QPointF(0, 0), text);
}

void GraphicsContext::drawImage(const QRectF& rect, const QImage& image)
{
    if (image.isNull() || !isFinite(rect))
        return;
    const QRectF target = rect.normalized();
    if (target.isEmpty())
        return;
    // Image pixel (u, v), v counted from the first row, lands at
    // (x + u·w/iw, maxY − v·h/ih): the first row along the rectangle's maximum y.
    const QTransform placement(
        target.width() / image.width(), 0, 0, -target.height() / image.height(), target.x(), target.bottom());
    preparePainter(true);
    m_painter->setWorldTransform(placement * m_state.ctm);
    m_painter->drawImage(QPointF(0, 0), image);
}

QFont GraphicsContext::resolveFont(const QString& postScriptName)
{
    struct Known {
        const char* name;
        const char* family;
        bool bold;
        bool italic;
    };
    static const Known known[] = {
        { "CourierNewPSMT", "Liberation Mono", false, false },
        { "CourierNewPS-BoldMT", "Liberation Mono", true, false },
        { "CourierNewPS-ItalicMT", "Liberation Mono", false, true },
        { "CourierNewPS-BoldItalicMT", "Liberation Mono", true, true },
        { "Courier", "Liberation Mono", false, false },
        { "Courier-Bold", "Liberation Mono", true, false },
        { "ArialMT", "Liberation Sans", false, false },
        { "Arial-BoldMT", "Liberation Sans", true, false },
        { "Helvetica", "Liberation Sans", false, false },
        { "Helvetica-Bold", "Liberation Sans", true, false },
        { "TimesNewRomanPSMT", "Liberation Serif", false, false },
        { "TimesNewRomanPS-BoldMT", "Liberation Serif", true, false },
        { "Times-Roman", "Liberation Serif", false, false },
        { "Times-Bold", "Liberation Serif", true, false },
    };
    QString family = postScriptName;
    bool bold = postScriptName.contains(QLatin1String("Bold"));
    bool italic = postScriptName.contains(QLatin1String("Italic"))
        || postScriptName.contains(QLatin1String("Oblique"));
    for (const Known& entry : known) {
        if (postScriptName == QLatin1String(entry.name)) {
            family = QString::fromLatin1(entry.family);
            bold = entry.bold;
            italic = entry.italic;
            break;
        }
    }
    const bool monospaced
        = family.contains(QLatin1String("Mono")) || family.contains(QLatin1String("Courier"));
    QFont font;
    if (QFontDatabase::hasFamily(family)) {
        font = QFont(family);
    } else if (monospaced) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    } else {
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    }
    if (monospaced)
        font.setStyleHint(QFont::Monospace);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

} // namespace imaging
