#pragma once

// Global alignment of a burst of stills: the whole-pixel translation that lays each frame on the
// reference, for hand shake of a few pixels between the frames of a burst.
//
// Both pictures are reduced to luma ((b + 2g + r) / 4) and halved into a pyramid until the
// largest shift is at most 4 pixels at the top. The top level is searched exhaustively over
// ±4 pixels; each finer level refines twice the coarser answer by ±1 pixel. The match measure is
// the mean absolute luma difference over an inner rectangle that stays inside both pictures for
// every shift tried, so all candidates are compared over the same pixels. The full-size level is
// matched on every second row.
//
// Pixels: Format_ARGB32_Premultiplied (other formats are converted). Frames of another size than
// the reference get offset (0, 0).
//
// The luma and the differences run on the CPU's best instruction set (CpuFeatures.h); each gives
// the same sums, so every CPU finds the same offsets.
//
// Threads: setReference() and offsetOf() on one thread at a time; no shared state otherwise.

#include <cstddef>
#include <cstdint>
#include <vector>

#include <QImage>
#include <QPoint>

namespace imaging {

class BurstAligner {
public:
    // maxShift: the largest offset searched on each axis, in full-size pixels (at least 1).
    explicit BurstAligner(int maxShift = 16);

    int maxShift() const { return m_maxShift; }

    void setReference(const QImage& reference);
    // The offset (dx, dy) at which `frame` shows the reference: the reference's pixel (x, y) is
    // the frame's (x + dx, y + dy).
    QPoint offsetOf(const QImage& frame) const;

    struct Level {
        int width { 0 };
        int height { 0 };
        std::vector<std::uint8_t> luma;
    };

private:
    std::vector<Level> pyramidOf(const QImage& image) const;

    int m_maxShift { 16 };
    int m_levels { 1 };
    std::vector<Level> m_reference;
};

} // namespace imaging
