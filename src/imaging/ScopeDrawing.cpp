// CameraScope: drawing the scope picture and its overlay, and the side-control toggle.

#include "imaging/CameraScope.h"

#include <cmath>
#include <numbers>

#include <QFontMetricsF>
#include <QTransform>

#include "imaging/LivePreviewLayer.h"
#include "imaging/NearestImageDraw.h"
#include "platform/camera/CaptureDevice.h"
#include "platform/core/Log.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/graphics/NamedColor.h"

namespace imaging {

namespace {

using platform::GraphicsContext;
using platform::NamedColor;

const QString kNumberFont = QStringLiteral("CourierNewPS-BoldMT");
constexpr qreal kNumberSize = 12;

// Degrees (computed in single precision) to radians, in double, narrowed to float.
float radiansFromDegrees(float degrees)
{
    return static_cast<float>(static_cast<double>(degrees) * std::numbers::pi / 180.0);
}

void strokeArc(GraphicsContext& context, qreal cx, qreal cy, qreal radius, float from, float to)
{
    context.beginPath();
    context.addArc(cx, cy, radius, from, to, false);
    context.strokePath();
}

} // namespace

void CameraScope::drawLayer(platform::Layer& layer, platform::GraphicsContext& context)
{
    if (&layer == m_scopeImageLayer.get())
        drawScopeImage(context);
    else if (&layer == m_scopeGridLayer.get())
        drawScopeGrid(context);
}

void CameraScope::drawScopeImage(platform::GraphicsContext& context)
{
    if (isTakingPicture())
        return; // the scope keeps its last picture while a photo is taken
    const std::unique_ptr<ScopeImage> image = m_qImage.take(); // released when done drawing
    if (!image)
        return;
    const qreal size = scopePixelSize();
    // Turn the landscape frame upright; the back camera's picture is also flipped, so that it
    // follows the preview's (unmirrored) orientation.
    context.rotateCTM(1.5707964f);
    context.translateCTM(0, -size);
    if (!(m_previewLayer && m_previewLayer->isMirrored()))
        context.concatCTM(QTransform(1, 0, 0, -1, 0, size));

    const auto rad = static_cast<qreal>(previewRadius(scopeScreenScaledRadius(), zoomValue()));
    const int w = image->frameSize.width();
    const int h = image->frameSize.height();
    const QRectF crop(w / 2 - rad, h / 2 - rad, 2 * rad, 2 * rad);
    context.setInterpolationQuality(GraphicsContext::InterpolationQuality::None);
    const QImage cropped = image->crop(crop);
    if (cropped.isNull()) {
        platform::log(platform::lcScope(), "!!!Can't get scopeImage!!!");
        return;
    }
    NearestImageDraw::draw(context, QRectF(0, 0, size, size), cropped);
}

void CameraScope::drawScopeGrid(platform::GraphicsContext& context)
{
    const QRectF box = context.clipBoundingBox();
    const auto W = static_cast<int>(box.width());
    const auto H = static_cast<int>(box.height());
    const auto cx = static_cast<int>(box.width() * 0.5);
    const auto cy = static_cast<int>(box.height() * 0.5);
    const qreal R = scopePixelRadius();
    const qreal size = scopePixelSize();

    // Turned with the device, so the texts read upright however it is held.
    switch (deviceOrientation()) {
    case 4:
        context.rotateCTM(-std::numbers::pi / 2);
        context.translateCTM(-W, 0);
        break;
    case 3:
        context.rotateCTM(std::numbers::pi / 2);
        context.translateCTM(0, -H);
        break;
    case 2:
        context.rotateCTM(std::numbers::pi);
        context.translateCTM(-W, -H);
        break;
    default:
        break;
    }
    // y up from here on, origin bottom-left.
    context.concatCTM(QTransform(1, 0, 0, -1, 0, size));

    const std::int32_t level = scopeNightVisionLevel();
    if (level >= 1) {
        context.setLineWidth(6);
        context.setStrokeColor(NamedColor::grey());
        const float theta = radiansFromDegrees(static_cast<float>(level) / -80.0f * 90.0f);
        strokeArc(context, cx, cy, R - 12, theta, 0.0f);
    }

    // Channel gauges, scaled to the threshold in a dark scene so that they swing further.
    const std::int32_t imageLevel = scopeImageLevel();
    const std::int32_t threshold = scopeNightVisionThread();
    const double D = imageLevel >= threshold ? 255.0 : static_cast<double>(threshold);
    const double k = 90.0 / D;
    const pixel light = imageLight();
    const struct {
        std::uint8_t mean;
        QColor color;
        qreal radius;
    } gauges[] = { { light.r, NamedColor::red(), R - 5 },
                   { light.g, NamedColor::green(), R - 9 },
                   { light.b, NamedColor::blue(), R - 13 } };
    context.setLineWidth(3);
    for (const auto& gauge : gauges) {
        context.setStrokeColor(gauge.color);
        const auto end = static_cast<float>((k * gauge.mean + 180.0) * std::numbers::pi / 180.0);
        strokeArc(context, cx, cy, gauge.radius, 3.1415927f, end);
    }

    context.setBlendMode(GraphicsContext::BlendMode::Normal);
    if (m_cDevice) {
        context.setLineWidth(6);
        if (m_cDevice->isAdjustingFocus()) {
            context.setStrokeColor(NamedColor::red());
            strokeArc(context, cx, cy, R - 6, 0.08726646f, 0.13962634f);
        }
        if (m_cDevice->isAdjustingExposure()) {
            context.setStrokeColor(NamedColor::grey());
            strokeArc(context, cx, cy, R - 6, 0.17453292f, 0.2268928f);
        }
        if (m_cDevice->isAdjustingWhiteBalance()) {
            context.setStrokeColor(NamedColor::blue());
            strokeArc(context, cx, cy, R - 6, 0.2617994f, 0.31415927f);
        }
    }

    context.selectFont(kNumberFont, kNumberSize);
    context.setFillColor(NamedColor::red());
    context.showTextAtPoint(16, cy - 12, QString::number(imageLevel));
    context.showTextAtPoint(10, cy + 6, QString::asprintf("%3d", light.r));
    context.setFillColor(NamedColor::green());
    context.showTextAtPoint(10, cy + 16, QString::asprintf("%3d", light.g));
    context.setFillColor(NamedColor::blue());
    context.showTextAtPoint(10, cy + 26, QString::asprintf("%3d", light.b));

    const std::int32_t mode = scopeNightVisionMode();
    if (mode >= 1) {
        context.setFillColor(NamedColor::red());
        const QString label = QStringLiteral("NV%1 +%2")
                                  .arg(mode == NightVisionMode::Auto ? QStringLiteral(" A") : QStringLiteral(" M"))
                                  .arg(level);
        context.showTextAtPoint(W - 70, cy + 6, label);
    }

    if (!m_cameraMessage.isEmpty()) {
        // No live picture: say why, centred under the middle of the square.
        context.setFillColor(NamedColor::red());
        QFont font = GraphicsContext::resolveFont(kNumberFont);
        font.setPixelSize(static_cast<int>(kNumberSize));
        const qreal width = QFontMetricsF(font).horizontalAdvance(m_cameraMessage);
        context.showTextAtPoint(cx - width / 2, cy - 40, m_cameraMessage);
    }

    if (isTakingPicture()) {
        context.setStrokeColor(NamedColor::red());
        context.setLineWidth(4);
        m_dashPhase += 2.0f;
        context.setLineDash(m_dashPhase, { 10, 10 });
        strokeArc(context, cx, cy, static_cast<qreal>(scopePixelRadius() / 2), 0.0f, 6.2831855f);
    }
}

void CameraScope::changeScopeGrid()
{
    playSystemSound(kClickSound);
    ++m_scopeGridType;
    if (m_scopeGridType >= 2) {
        m_scopeGridType = 0;
        setSideControlsHidden(false);
    } else {
        setSideControlsHidden(true);
    }
    requestOverlayRedraw();
}

} // namespace imaging
