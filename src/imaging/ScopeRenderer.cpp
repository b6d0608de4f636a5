#include "imaging/ScopeRenderer.h"

#include <cmath>
#include <cstdint>
#include <numbers>

#include <QFontMetricsF>
#include <QPainter>
#include <QTransform>

#include "imaging/FramePipeline.h"
#include "imaging/GraphicsContext.h"
#include "imaging/LivePreviewLayer.h"
#include "imaging/NamedColor.h"
#include "imaging/NearestImageDraw.h"
#include "imaging/NightVisionMode.h"
#include "imaging/ScopeCamera.h"
#include "imaging/ScopeGeometry.h"
#include "imaging/ScopeSettings.h"
#include "platform/camera/CaptureDevice.h"
#include "platform/core/Log.h"

namespace imaging {

namespace {

const QString kNumberFont = QStringLiteral("CourierNewPS-BoldMT");
constexpr qreal kNumberSize = 12;

// Angles in radians as single-precision literals: the arcs were tuned with exactly these values,
// so they are written out rather than computed in double.
constexpr float kQuarterTurn = 1.5707964f; // π/2: a landscape frame turned upright
constexpr float kHalfTurn = 3.1415927f; // π: the gauges start at the left, 9 o'clock
constexpr float kFullTurn = 6.2831855f; // 2π: the photo ring is a whole circle
// The activity marks: three short arcs of 3° each just above 3 o'clock, 2° apart.
constexpr float kFocusMarkFrom = 0.08726646f; // 5°
constexpr float kFocusMarkTo = 0.13962634f; // 8°
constexpr float kExposureMarkFrom = 0.17453292f; // 10°
constexpr float kExposureMarkTo = 0.2268928f; // 13°
constexpr float kWhiteBalanceMarkFrom = 0.2617994f; // 15°
constexpr float kWhiteBalanceMarkTo = 0.31415927f; // 18°
// The level arc sweeps a quarter turn clockwise from 3 o'clock at the top level, 80.
constexpr float kLevelArcDegrees = 90.0f;
constexpr float kTopLevel = 80.0f;
// The channel gauges sweep up to a quarter turn clockwise from 9 o'clock.
constexpr double kGaugeDegrees = 90.0;
constexpr double kHalfTurnDegrees = 180.0;

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

// The overlay's measures in points: the drawn box, its integer centre, and the scope's radius.
struct ScopeRenderer::OverlayFrame {
    int width;
    int height;
    int centreX;
    int centreY;
    qreal radius;
};

ScopeRenderer::ScopeRenderer(const ScopeSettings& settings, const ScopeGeometry& geometry,
    FramePipeline& pipeline, const ScopeCamera& camera)
    : m_settings(settings)
    , m_geometry(geometry)
    , m_pipeline(pipeline)
    , m_camera(camera)
{
}

ScopeRenderer::~ScopeRenderer() = default;

void ScopeRenderer::setRedrawHandlers(std::function<void()> overlay, std::function<void()> picture)
{
    m_overlayRedraw = std::move(overlay);
    m_pictureRedraw = std::move(picture);
}

void ScopeRenderer::requestOverlayRedraw() const
{
    if (m_overlayRedraw)
        m_overlayRedraw();
}

void ScopeRenderer::requestPictureRedraw() const
{
    if (m_pictureRedraw)
        m_pictureRedraw();
}

namespace {

// A square of `points` at `scale`, transparent, drawn by `draw` in points with y down.
template <typename Draw> QImage renderSquare(qreal points, qreal scale, Draw draw)
{
    const qreal side = std::ceil(points * scale);
    if (!(side >= 1 && side <= 8192))
        return {};
    const int pixels = static_cast<int>(side);
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    GraphicsContext context(painter, QTransform::fromScale(scale, scale));
    draw(context);
    return image;
}

} // namespace

QImage ScopeRenderer::renderScopeImage(qreal scale)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_pipeline.isTakingPicture() || !m_pipeline.qImage().isFull())
        return {}; // the scope keeps its last picture while a photo is taken
    bool drawn = false;
    QImage image = renderSquare(m_geometry.scopePixelSize(), scale,
        [&](GraphicsContext& context) { drawn = drawScopeImage(context); });
    return drawn ? image : QImage();
}

QImage ScopeRenderer::renderScopeGrid(qreal scale)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    return renderSquare(
        m_geometry.scopePixelSize(), scale, [&](GraphicsContext& context) { drawScopeGrid(context); });
}

bool ScopeRenderer::drawScopeImage(GraphicsContext& context)
{
    const std::unique_ptr<ScopeImage> image = m_pipeline.qImage().take(); // released when done drawing
    if (!image)
        return false;
    const qreal size = m_geometry.scopePixelSize();
    // Turn the landscape frame upright; the back camera's picture is also flipped, so that it
    // follows the preview's (unmirrored) orientation.
    context.rotateCTM(kQuarterTurn);
    context.translateCTM(0, -size);
    const LivePreviewLayer* preview = m_camera.previewLayer();
    if (!(preview && preview->isMirrored()))
        context.concatCTM(QTransform(1, 0, 0, -1, 0, size));

    const auto radius = static_cast<qreal>(
        ScopeGeometry::previewRadius(m_geometry.scopeScreenScaledRadius(), m_settings.zoom()));
    // The crop is centred on the frame's middle pixel: an odd size rounds the centre down.
    const int centreColumn = image->frameSize.width() / 2;
    const int centreRow = image->frameSize.height() / 2;
    const auto centreX = static_cast<qreal>(centreColumn);
    const auto centreY = static_cast<qreal>(centreRow);
    const QRectF crop(centreX - radius, centreY - radius, 2 * radius, 2 * radius);
    context.setInterpolationQuality(GraphicsContext::InterpolationQuality::None);
    const QImage cropped = image->crop(crop);
    if (cropped.isNull()) {
        platform::log(platform::lcScope(), "!!!Can't get scopeImage!!!");
        return false;
    }
    NearestImageDraw::draw(context, QRectF(0, 0, size, size), cropped);
    return true;
}

void ScopeRenderer::drawScopeGrid(GraphicsContext& context)
{
    const QRectF box = context.clipBoundingBox();
    const OverlayFrame frame { static_cast<int>(box.width()), static_cast<int>(box.height()),
        static_cast<int>(box.width() * 0.5), static_cast<int>(box.height() * 0.5),
        static_cast<qreal>(m_geometry.scopePixelRadius()) };
    turnWithDevice(context, frame);
    // y up from here on, origin bottom-left.
    context.concatCTM(QTransform(1, 0, 0, -1, 0, m_geometry.scopePixelSize()));

    drawLevelArc(context, frame);
    drawChannelGauges(context, frame);
    drawActivityMarks(context, frame);
    drawNumbers(context, frame);
    drawModeLabel(context, frame);
    drawCameraMessage(context, frame);
    drawPhotoRing(context, frame);
}

// Turned with the device, so the texts read upright however it is held.
void ScopeRenderer::turnWithDevice(GraphicsContext& context, const OverlayFrame& frame) const
{
    switch (m_orientation ? m_orientation() : 1) {
    case 4: // landscape right
        context.rotateCTM(-std::numbers::pi / 2);
        context.translateCTM(-frame.width, 0);
        break;
    case 3: // landscape left
        context.rotateCTM(std::numbers::pi / 2);
        context.translateCTM(0, -frame.height);
        break;
    case 2: // upside down
        context.rotateCTM(std::numbers::pi);
        context.translateCTM(-frame.width, -frame.height);
        break;
    default:
        break;
    }
}

void ScopeRenderer::drawLevelArc(GraphicsContext& context, const OverlayFrame& frame) const
{
    const std::int32_t level = m_settings.scopeNightVisionLevel();
    if (level < 1)
        return;
    context.setLineWidth(6);
    context.setStrokeColor(NamedColor::grey());
    const float sweep = radiansFromDegrees(static_cast<float>(level) / -kTopLevel * kLevelArcDegrees);
    strokeArc(context, frame.centreX, frame.centreY, frame.radius - 12, sweep, 0.0f);
}

// Channel gauges, scaled to the threshold in a dark scene so that they swing further.
void ScopeRenderer::drawChannelGauges(GraphicsContext& context, const OverlayFrame& frame) const
{
    const std::int32_t imageLevel = m_pipeline.scopeImageLevel();
    const std::int32_t threshold = m_settings.scopeNightVisionThread();
    const double fullScale = imageLevel >= threshold ? 255.0 : static_cast<double>(threshold);
    const double degreesPerUnit = kGaugeDegrees / fullScale;
    const pixel light = m_pipeline.imageLight();
    const struct {
        std::uint8_t mean;
        QColor color;
        qreal radius;
    } gauges[] = { { light.r, NamedColor::red(), frame.radius - 5 },
        { light.g, NamedColor::green(), frame.radius - 9 },
        { light.b, NamedColor::blue(), frame.radius - 13 } };
    context.setLineWidth(3);
    for (const auto& gauge : gauges) {
        context.setStrokeColor(gauge.color);
        const auto end
            = static_cast<float>((degreesPerUnit * gauge.mean + kHalfTurnDegrees) * std::numbers::pi / 180.0);
        strokeArc(context, frame.centreX, frame.centreY, gauge.radius, kHalfTurn, end);
    }
}

void ScopeRenderer::drawActivityMarks(GraphicsContext& context, const OverlayFrame& frame) const
{
    const std::shared_ptr<platform::CaptureDevice>& device = m_camera.cDevice();
    if (!device)
        return;
    context.setLineWidth(6);
    const qreal radius = frame.radius - 6;
    if (device->isAdjustingFocus()) {
        context.setStrokeColor(NamedColor::red());
        strokeArc(context, frame.centreX, frame.centreY, radius, kFocusMarkFrom, kFocusMarkTo);
    }
    if (device->isAdjustingExposure()) {
        context.setStrokeColor(NamedColor::grey());
        strokeArc(context, frame.centreX, frame.centreY, radius, kExposureMarkFrom, kExposureMarkTo);
    }
    if (device->isAdjustingWhiteBalance()) {
        context.setStrokeColor(NamedColor::blue());
        strokeArc(context, frame.centreX, frame.centreY, radius, kWhiteBalanceMarkFrom, kWhiteBalanceMarkTo);
    }
}

// The measured brightness, then the three channel means, down the left edge.
void ScopeRenderer::drawNumbers(GraphicsContext& context, const OverlayFrame& frame) const
{
    const pixel light = m_pipeline.imageLight();
    context.selectFont(kNumberFont, kNumberSize);
    context.setFillColor(NamedColor::red());
    context.showTextAtPoint(16, frame.centreY - 12, QString::number(m_pipeline.scopeImageLevel()));
    context.showTextAtPoint(10, frame.centreY + 6, QString::asprintf("%3d", light.r));
    context.setFillColor(NamedColor::green());
    context.showTextAtPoint(10, frame.centreY + 16, QString::asprintf("%3d", light.g));
    context.setFillColor(NamedColor::blue());
    context.showTextAtPoint(10, frame.centreY + 26, QString::asprintf("%3d", light.b));
}

// "NV A +level" or "NV M +level" at the right edge, nothing when the enhancement is off. Night
// mode adds "NR" (noise reduction) on the line below, with the enhancement off as well, so the
// user can tell the smoother picture is the filter's doing. A second line rather than a longer
// first one: "NV M +80 NR" would run past the scope's edge.
void ScopeRenderer::drawModeLabel(GraphicsContext& context, const OverlayFrame& frame) const
{
    const std::int32_t mode = m_settings.scopeNightVisionMode();
    const bool nightMode = m_settings.isNightMode();
    if (mode < 1 && !nightMode)
        return;
    context.setFillColor(NamedColor::red());
    if (mode >= 1) {
        const QString label
            = QStringLiteral("NV%1 +%2")
                  .arg(mode == NightVisionMode::Auto ? QStringLiteral(" A") : QStringLiteral(" M"))
                  .arg(m_settings.scopeNightVisionLevel());
        context.showTextAtPoint(frame.width - 70, frame.centreY + 6, label);
    }
    if (nightMode)
        context.showTextAtPoint(frame.width - 70, frame.centreY - 6, QStringLiteral("NR"));
}

// No live picture: say why, centred under the middle of the square.
void ScopeRenderer::drawCameraMessage(GraphicsContext& context, const OverlayFrame& frame) const
{
    const QString message = m_camera.cameraMessage();
    if (message.isEmpty())
        return;
    context.setFillColor(NamedColor::red());
    QFont font = GraphicsContext::resolveFont(kNumberFont);
    font.setPixelSize(static_cast<int>(kNumberSize));
    const qreal width = QFontMetricsF(font).horizontalAdvance(message);
    context.showTextAtPoint(frame.centreX - width / 2, frame.centreY - 40, message);
}

// A dashed ring at half the scope's radius that turns a little with every overlay drawn.
void ScopeRenderer::drawPhotoRing(GraphicsContext& context, const OverlayFrame& frame)
{
    if (!m_pipeline.isTakingPicture())
        return;
    context.setStrokeColor(NamedColor::red());
    context.setLineWidth(4);
    m_dashPhase += 2.0f;
    context.setLineDash(m_dashPhase, { 10, 10 });
    // Half the pixel radius, in whole pixels as the ring has always been drawn.
    const int ringRadius = m_geometry.scopePixelRadius() / 2;
    strokeArc(context, frame.centreX, frame.centreY, static_cast<qreal>(ringRadius), 0.0f, kFullTurn);
}

} // namespace imaging
