#pragma once

// A 2-D drawing context with the phone platform's drawing-library semantics, drawn through QPainter.
//
// Coordinates: user space is mapped to device pixels by the current transformation matrix (CTM).
// The path is transformed as it is built, so a CTM change after a segment does not move it; line
// width and dash lengths are read in the user space current when the path is stroked.
// Angles are radians, measured from +x towards +y of the user space. An arc's `clockwise` flag is
// read in that user space: false means increasing angles, which runs counter-clockwise on screen
// when user space is y-up and clockwise when it is y-down.
// Images are placed the library's way: the first row of an image lies at the rectangle's maximum
// y, so an image is upright in a y-up user space. Text is drawn upright at its baseline point
// whatever reflection the CTM holds (never mirrored); rotation and scale of the CTM still apply.
//
// Threads: a context belongs to the thread that uses it; it is not shared between threads.

#include <memory>
#include <vector>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QTransform>

#include "platform/core/ThreadChecker.h"

class QPainter;

namespace imaging {

class GraphicsContext {
public:
    // None is nearest-neighbour sampling; every other quality smooths.
    enum class InterpolationQuality { Default, None, Low, Medium, High };

    // Draws through an active painter. The initial CTM is `baseCTM` followed by the painter's own
    // transform. The painter must outlive the context; its state is restored on destruction.
    explicit GraphicsContext(QPainter& painter, const QTransform& baseCTM = {});

    ~GraphicsContext();
    GraphicsContext(const GraphicsContext&) = delete;
    GraphicsContext& operator=(const GraphicsContext&) = delete;

    // Graphics state: CTM, clip, colours, line and dash settings, font, interpolation. The current
    // path is not part of it.
    void saveGState();
    void restoreGState();

    void translateCTM(qreal tx, qreal ty);
    void rotateCTM(qreal radians);
    void concatCTM(const QTransform& transform);
    QTransform getCTM() const { return m_state.ctm; }

    void setLineWidth(qreal width);
    // `lengths` alternate painted and unpainted lengths in user units, `phase` is how far into the
    // pattern the stroke starts. Empty, negative or all-zero lengths give a solid line.
    void setLineDash(qreal phase, const std::vector<qreal>& lengths);
    void setStrokeColor(const QColor& color) { m_state.strokeColor = color; }
    void setFillColor(const QColor& color) { m_state.fillColor = color; }
    void setInterpolationQuality(InterpolationQuality quality) { m_state.interpolation = quality; }

    // Path building; coordinates in the current user space.
    void beginPath();
    void moveTo(qreal x, qreal y);
    void addLineTo(qreal x, qreal y);
    // Joins the current point (if any) to the arc's start with a line. A sweep of 2π or more is a
    // full circle; otherwise the sweep is taken modulo 2π in the flag's direction.
    void addArc(qreal x, qreal y, qreal radius, qreal startAngle, qreal endAngle, bool clockwise);

    // Stroking the path consumes it.
    void strokePath();

    // Intersects the clip with a rectangle in user space.
    void clipToRect(const QRectF& rect);
    // The bounding box of the clip (initially the whole device) in the current user space.
    QRectF clipBoundingBox() const;

    // Fonts by PostScript name; see resolveFont. Size in user units.
    void selectFont(const QString& name, qreal size);
    // Fills `text` with the fill colour, its baseline starting at (x, y).
    void showTextAtPoint(qreal x, qreal y, const QString& text);

    // Draws `image` stretched over `rect` (see the placement rule above).
    void drawImage(const QRectF& rect, const QImage& image);

    // Maps a PostScript font name to an installed font: "CourierNewPS-BoldMT" is Liberation Mono
    // Bold (metric-compatible); unknown monospaced names fall back to a bold or regular fixed font.
    static QFont resolveFont(const QString& postScriptName);

private:
    struct GState {
        QTransform ctm;
        qreal lineWidth { 1.0 };
        qreal dashPhase { 0.0 };
        std::vector<qreal> dashLengths;
        QColor strokeColor { Qt::black };
        QColor fillColor { Qt::black };
        InterpolationQuality interpolation { InterpolationQuality::Default };
        QFont font;
        qreal fontSize { 12.0 };
        QRectF clipDeviceBounds; // device pixels
    };
    void initState(const QTransform& baseCTM);
    void preparePainter(bool forImage);
    // Appends a user-space path, mapped to device space, as a new subpath or joined by a line.
    void appendUserPath(const QPainterPath& userPath, bool connect);

    QPainter* m_painter { nullptr };
    GState m_state;
    std::vector<GState> m_stack;
    QPainterPath m_path; // device space
    bool m_hasCurrentPoint { false };
    [[no_unique_address]] platform::ThreadChecker m_usingThread; // bound by the first drawing call
};

} // namespace imaging
