#include "imaging/BurstAligner.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "imaging/MergeKernels.h"

namespace imaging {

namespace {

constexpr int kTopSearch = 4;

BurstAligner::Level lumaOf(const QImage& image)
{
    BurstAligner::Level level { image.width(), image.height(), {} };
    level.luma.resize(std::size_t(level.width) * std::size_t(level.height));
    for (int y = 0; y < level.height; ++y)
        detail::lumaRow(image.constScanLine(y), std::size_t(level.width),
            level.luma.data() + std::size_t(y) * std::size_t(level.width));
    return level;
}

BurstAligner::Level halved(const BurstAligner::Level& from)
{
    BurstAligner::Level level { from.width / 2, from.height / 2, {} };
    level.luma.resize(std::size_t(level.width) * std::size_t(level.height));
    for (int y = 0; y < level.height; ++y) {
        const std::uint8_t* a = from.luma.data() + std::size_t(2 * y) * std::size_t(from.width);
        const std::uint8_t* b = a + from.width;
        std::uint8_t* out = level.luma.data() + std::size_t(y) * std::size_t(level.width);
        for (int x = 0; x < level.width; ++x)
            out[x] = std::uint8_t((a[2 * x] + a[2 * x + 1] + b[2 * x] + b[2 * x + 1] + 2) >> 2);
    }
    return level;
}

// The best of the shifts centre ± radius, compared over one inner rectangle (margin on every
// side) by the sum of |reference(x, y) - frame(x + dx, y + dy)|. All the shifts' sums are taken
// in one sweep down the rows, so the rows they read are still in cache for the next shift.
QPoint search(const BurstAligner::Level& reference, const BurstAligner::Level& frame, QPoint centre,
    int radius, int margin, int rowStep)
{
    const int side = 2 * radius + 1;
    std::vector<std::uint64_t> totals(std::size_t(side) * std::size_t(side));
    const int x0 = margin, x1 = reference.width - margin;
    for (int y = margin; y < reference.height - margin; y += rowStep) {
        const std::uint8_t* r = reference.luma.data() + std::size_t(y) * std::size_t(reference.width) + x0;
        std::uint64_t* total = totals.data();
        for (int dy = centre.y() - radius; dy <= centre.y() + radius; ++dy) {
            const std::uint8_t* f = frame.luma.data() + std::size_t(y + dy) * std::size_t(frame.width) + x0;
            for (int dx = centre.x() - radius; dx <= centre.x() + radius; ++dx)
                *total++ += detail::rowDifference(r, f + dx, std::size_t(x1 - x0));
        }
    }

    QPoint best = centre;
    std::uint64_t bestDifference = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t* total = totals.data();
    for (int dy = centre.y() - radius; dy <= centre.y() + radius; ++dy)
        for (int dx = centre.x() - radius; dx <= centre.x() + radius; ++dx) {
            // Ties go to the smaller shift, so a flat picture stays where it is.
            const std::uint64_t d = *total++;
            if (d < bestDifference
                || (d == bestDifference
                    && std::abs(dx) + std::abs(dy) < std::abs(best.x()) + std::abs(best.y()))) {
                bestDifference = d;
                best = QPoint(dx, dy);
            }
        }
    return best;
}

} // namespace

BurstAligner::BurstAligner(int maxShift)
    : m_maxShift(std::max(maxShift, 1))
{
    while ((m_maxShift >> (m_levels - 1)) > kTopSearch)
        ++m_levels;
}

std::vector<BurstAligner::Level> BurstAligner::pyramidOf(const QImage& image) const
{
    const QImage pixels = image.format() == QImage::Format_ARGB32_Premultiplied
        ? image
        : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    std::vector<Level> levels;
    levels.push_back(lumaOf(pixels));
    while (int(levels.size()) < m_levels)
        levels.push_back(halved(levels.back()));
    return levels;
}

void BurstAligner::setReference(const QImage& reference)
{
    m_reference = pyramidOf(reference);
}

QPoint BurstAligner::offsetOf(const QImage& frame) const
{
    if (m_reference.empty() || frame.size() != QSize(m_reference[0].width, m_reference[0].height))
        return {};
    const std::vector<Level> levels = pyramidOf(frame);
    QPoint offset; // in pixels of the level being matched
    bool searched = false;
    for (int l = m_levels - 1; l >= 0; --l) {
        const Level& reference = m_reference[std::size_t(l)];
        const int limit = ((m_maxShift + (1 << l) - 1) >> l) + 1; // largest shift at this level, rounded up
        const int margin = limit + 4; // room for twice the coarser answer plus the refinement
        const QPoint centre = searched ? offset * 2 : QPoint();
        if (reference.width <= 2 * margin || reference.height <= 2 * margin) {
            offset = centre; // too small to tell at this level
            continue;
        }
        offset = search(
            reference, levels[std::size_t(l)], centre, searched ? 1 : kTopSearch, margin, l == 0 ? 2 : 1);
        offset.setX(std::clamp(offset.x(), -limit, limit));
        offset.setY(std::clamp(offset.y(), -limit, limit));
        searched = true;
    }
    offset.setX(std::clamp(offset.x(), -m_maxShift, m_maxShift));
    offset.setY(std::clamp(offset.y(), -m_maxShift, m_maxShift));
    return offset;
}

} // namespace imaging
