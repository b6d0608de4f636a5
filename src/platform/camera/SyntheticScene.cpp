#include "platform/camera/SyntheticScene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "platform/camera/SensorOrientation.h"
#include "platform/camera/SplitMix.h"

namespace platform {

namespace {

// The scene is laid out on a 400 × 300 canvas and scaled to fill the frame (centre crop for
// other aspect ratios), so every size shows the same street.
constexpr double kCanvasWidth = 400.0;
constexpr double kCanvasHeight = 300.0;

// Noise samples: enough that rows starting at random offsets do not repeat visibly, plus one row
// of the widest frame so a row never reads past the end.
constexpr std::size_t kNoiseSamples = std::size_t(1) << 18;
constexpr std::size_t kNoisePadding = 4 * 4096;

std::uint64_t splitMix(std::uint64_t& state)
{
    return splitmix::next(state);
}
double unitRandom(std::uint64_t& state)
{
    return splitmix::unit(state);
}

// The scene is composed upright and aspect-filled into the portrait picture the camera sees,
// then laid into the landscape frame as a sensor delivers it.
QTransform canvasTransform(QSize size)
{
    const QSize upright = uprightSceneSize(size);
    const double scale = std::max(upright.width() / kCanvasWidth, upright.height() / kCanvasHeight);
    QTransform transform;
    transform.translate(
        (upright.width() - kCanvasWidth * scale) / 2.0, (upright.height() - kCanvasHeight * scale) / 2.0);
    transform.scale(scale, scale);
    return transform * uprightSceneToFrame(size);
}

void paintBackground(QPainter& painter, std::uint32_t seed)
{
    QLinearGradient sky(0, 0, 0, 190);
    sky.setColorAt(0.0, QColor(5, 7, 20));
    sky.setColorAt(1.0, QColor(20, 22, 36));
    painter.fillRect(QRectF(0, 0, kCanvasWidth, 190), sky);

    std::uint64_t random = seed;
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 40; ++i) {
        const double x = unitRandom(random) * kCanvasWidth;
        const double y = unitRandom(random) * 150.0;
        const int level = 50 + int(unitRandom(random) * 60.0);
        painter.setBrush(QColor(level, level, level + 10));
        painter.drawEllipse(QPointF(x, y), 0.6, 0.6);
    }

    QRadialGradient halo(QPointF(320, 50), 45);
    halo.setColorAt(0.0, QColor(60, 60, 70, 140));
    halo.setColorAt(1.0, QColor(60, 60, 70, 0));
    painter.setBrush(halo);
    painter.drawEllipse(QPointF(320, 50), 45, 45);
    QRadialGradient moon(QPointF(315, 45), 18);
    moon.setColorAt(0.0, QColor(130, 128, 115));
    moon.setColorAt(1.0, QColor(75, 74, 68));
    painter.setBrush(moon);
    painter.drawEllipse(QPointF(320, 50), 16, 16);

    QLinearGradient ground(0, 190, 0, kCanvasHeight);
    ground.setColorAt(0.0, QColor(22, 20, 18));
    ground.setColorAt(1.0, QColor(10, 9, 8));
    painter.fillRect(QRectF(0, 190, kCanvasWidth, kCanvasHeight - 190), ground);

    // Buildings with a grid of windows, some of them lit.
    const QRectF buildings[]
        = { { 10, 90, 75, 100 }, { 90, 50, 60, 140 }, { 250, 100, 60, 90 }, { 315, 70, 80, 120 } };
    for (const QRectF& building : buildings) {
        QLinearGradient wall(building.topLeft(), building.topRight());
        wall.setColorAt(0.0, QColor(30, 30, 36));
        wall.setColorAt(1.0, QColor(18, 18, 24));
        painter.fillRect(building, wall);
        for (double wy = building.top() + 8; wy + 10 < building.bottom(); wy += 16) {
            for (double wx = building.left() + 6; wx + 8 < building.right(); wx += 14) {
                const bool lit = unitRandom(random) < 0.3;
                painter.fillRect(QRectF(wx, wy, 8, 10), lit ? QColor(105, 90, 45) : QColor(12, 12, 17));
            }
        }
    }

    // Road with a dashed centre line.
    painter.fillRect(QRectF(0, 235, kCanvasWidth, 40), QColor(14, 14, 15));
    for (double x = 5; x < kCanvasWidth; x += 30)
        painter.fillRect(QRectF(x, 254, 15, 2), QColor(70, 68, 55));

    // A sign with a little text, the kind of detail the enhancement should bring out.
    painter.fillRect(QRectF(160, 120, 80, 40), QColor(34, 34, 40));
    painter.setPen(QPen(QColor(60, 60, 66), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(160, 120, 80, 40));
    QFont font(QStringLiteral("Liberation Mono"));
    font.setPixelSize(11);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(95, 95, 85));
    painter.drawText(QRectF(160, 122, 80, 18), Qt::AlignCenter, QStringLiteral("LUMIVUE"));
    painter.drawText(QRectF(160, 139, 80, 18), Qt::AlignCenter, QStringLiteral("OPEN 24"));

    // A street lamp: the one bright spot, with a soft glow.
    painter.fillRect(QRectF(198, 160, 3, 75), QColor(25, 25, 28));
    QRadialGradient glow(QPointF(200, 160), 30);
    glow.setColorAt(0.0, QColor(120, 105, 70, 160));
    glow.setColorAt(1.0, QColor(120, 105, 70, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(QPointF(200, 160), 30, 30);
    painter.setBrush(QColor(220, 200, 150));
    painter.drawEllipse(QPointF(200, 160), 3, 2);

    // A tree.
    painter.fillRect(QRectF(57, 200, 6, 35), QColor(20, 15, 10));
    QRadialGradient crown(QPointF(55, 180), 28);
    crown.setColorAt(0.0, QColor(16, 34, 18));
    crown.setColorAt(1.0, QColor(8, 18, 10));
    painter.setBrush(crown);
    painter.drawEllipse(QPointF(60, 185), 26, 24);
}

// The torch lights the near part of the scene: a gain that falls off from the centre of the
// lower frame, plus a little light of its own.
void applyTorch(QImage& image)
{
    const double cx = image.width() * 0.5;
    const double cy = image.height() * 0.65;
    const double radius = std::max(image.width(), image.height()) * 0.75;
    for (int y = 0; y < image.height(); ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            const double dx = x - cx;
            const double dy = y - cy;
            const double f = std::max(0.0, 1.0 - (dx * dx + dy * dy) / (radius * radius));
            const double gain = 1.0 + 2.2 * f;
            const double lift = 28.0 * f;
            for (int c = 0; c < 3; ++c)
                row[4 * x + c] = uchar(std::min(255.0, row[4 * x + c] * gain + lift));
        }
    }
}

// dst = src + up - down per byte, saturating.
void addNoiseRow(const uchar* src, uchar* dst, int width, const std::uint8_t* up, const std::uint8_t* down)
{
    int x = 0;
#if defined(__SSE2__)
    for (; x + 4 <= width; x += 4) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x * 4));
        v = _mm_adds_epu8(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(up + x * 4)));
        v = _mm_subs_epu8(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(down + x * 4)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x * 4), v);
    }
#endif
    for (; x < width; ++x) {
        for (int c = 0; c < 4; ++c) {
            const int value = int(src[x * 4 + c]) + up[x * 4 + c] - down[x * 4 + c];
            dst[x * 4 + c] = uchar(std::clamp(value, 0, 255));
        }
    }
}

} // namespace

void SyntheticScene::prepare(QSize size, bool torch)
{
    if (size == m_size && torch == m_torch && !m_background.isNull())
        return;
    m_size = size;
    m_torch = torch;
    m_sceneStale = true;
    m_background = QImage(size, QImage::Format_ARGB32_Premultiplied);
    m_background.fill(QColor(0, 0, 0));
    {
        QPainter painter(&m_background);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setTransform(canvasTransform(size));
        paintBackground(painter, m_seed);
    }
    if (torch)
        applyTorch(m_background);

    // High gain in the dark means more visible noise; the torch lets the sensor use less.
    const double sigma = torch ? 3.0 : 6.0;
    m_noiseUp.assign(kNoiseSamples + kNoisePadding, 0);
    m_noiseDown.assign(kNoiseSamples + kNoisePadding, 0);
    std::uint64_t random = std::uint64_t(m_seed) * 0x2545F4914F6CDD1Dull + (torch ? 1 : 0);
    for (std::size_t i = 0; i < m_noiseUp.size(); ++i) {
        if (i % 4 == 3)
            continue; // alpha stays opaque
        const double u1 = std::max(unitRandom(random), 1e-12);
        const double u2 = unitRandom(random);
        const double n = sigma * std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
        const long level = std::clamp(std::lround(n), -127l, 127l);
        // Stored as a raise and a lowering so a row is two saturating byte operations.
        m_noiseUp[i] = std::uint8_t(std::max(level, 0l));
        m_noiseDown[i] = std::uint8_t(std::max(-level, 0l));
    }
}

QRect SyntheticScene::paintMovingParts(QImage& image, double seconds) const
{
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setTransform(canvasTransform(image.size()));
    painter.setPen(Qt::NoPen);

    // A cloud drifting across the moon, about two minutes per crossing.
    const double cloudX = std::fmod(seconds * 4.0, 520.0) - 60.0;
    painter.setBrush(QColor(28, 30, 44, 150));
    painter.drawEllipse(QPointF(cloudX, 48), 40, 10);
    painter.drawEllipse(QPointF(cloudX + 25, 42), 25, 9);

    // A car driving along the road, about forty seconds per crossing.
    const double carX = std::fmod(seconds * 12.0, 480.0) - 50.0;
    const QColor body = m_torch ? QColor(70, 40, 45) : QColor(32, 24, 28);
    painter.setBrush(body);
    painter.drawRoundedRect(QRectF(carX, 240, 44, 12), 3, 3);
    painter.drawRoundedRect(QRectF(carX + 8, 233, 24, 9), 3, 3);
    QRadialGradient beam(QPointF(carX + 46, 245), 22);
    beam.setColorAt(0.0, QColor(150, 140, 110, 150));
    beam.setColorAt(1.0, QColor(150, 140, 110, 0));
    painter.setBrush(beam);
    painter.drawEllipse(QPointF(carX + 46, 245), 22, 10);
    painter.setBrush(QColor(235, 225, 190));
    painter.drawEllipse(QPointF(carX + 43, 245), 2, 1.5);
    painter.setBrush(QColor(140, 20, 20));
    painter.drawEllipse(QPointF(carX + 1, 245), 1.5, 1.2);

    // Bounds of the shapes above in scene units, padded for antialiasing, in frame pixels.
    constexpr double kPad = 3;
    const QRectF cloud(cloudX - 40 - kPad, 33 - kPad, 90 + 2 * kPad, 25 + 2 * kPad);
    const QRectF car(carX - kPad, 233 - kPad, 68 + 2 * kPad, 22 + 2 * kPad);
    const QTransform toFrame = canvasTransform(image.size());
    const QRect touched = toFrame.mapRect(cloud).toAlignedRect().united(toFrame.mapRect(car).toAlignedRect());
    return touched.adjusted(-1, -1, 1, 1) & image.rect();
}

void SyntheticScene::restoreScene()
{
    if (m_sceneStale || m_scene.size() != m_background.size()) {
        m_scene = m_background.copy();
        m_sceneStale = false;
        return;
    }
    const int x = m_sceneDirty.x();
    const auto bytes = std::size_t(m_sceneDirty.width()) * 4;
    for (int y = m_sceneDirty.top(); y <= m_sceneDirty.bottom(); ++y)
        std::memcpy(m_scene.scanLine(y) + 4 * x, m_background.constScanLine(y) + 4 * x, bytes);
}

QImage SyntheticScene::render(double seconds, QSize size, bool torch)
{
    if (size.isEmpty())
        return {};
    prepare(size, torch);

    // The moving parts are painted over a reused copy of the background, restored only where the
    // previous frame's moving parts were: a whole-frame copy per frame would cost more than the
    // rest of the scene.
    restoreScene();
    m_sceneDirty = paintMovingParts(m_scene, seconds);

    // Noise: each row reads the sample tables from an offset chosen by the frame and the row.
    QImage frame(size, QImage::Format_ARGB32_Premultiplied);
    const int width = size.width();
    const std::uint64_t frameKey = std::uint64_t(std::llround(seconds * 1000.0));
    for (int y = 0; y < size.height(); ++y) {
        std::uint64_t state
            = (std::uint64_t(m_seed) << 32) ^ (frameKey * 0x9E3779B97F4A7C15ull) ^ std::uint64_t(y);
        const std::size_t offset = (splitMix(state) % (kNoiseSamples / 4)) * 4;
        addNoiseRow(m_scene.constScanLine(y), frame.scanLine(y), width, m_noiseUp.data() + offset,
            m_noiseDown.data() + offset);
    }
    return frame;
}

QImage renderSyntheticScene(std::uint32_t seed, double seconds, QSize size, bool torch)
{
    SyntheticScene scene(seed);
    return scene.render(seconds, size, torch);
}

} // namespace platform
