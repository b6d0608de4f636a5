#include "imaging/BurstMerger.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "imaging/BurstAligner.h"
#include "imaging/MergeKernels.h"

namespace imaging {

namespace {

constexpr int kThresholdFloor = 12;
static_assert(BurstMerger::kMaxFrames == detail::kMergeMaxFrames);

QImage bgra(const QImage& image)
{
    return image.format() == QImage::Format_ARGB32_Premultiplied
        ? image
        : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Pixels [begin, end) of row y of the frame shifted by offset, borders repeated, into out.
void shiftedPixels(const QImage& frame, QPoint offset, int y, int begin, int end, std::uint32_t* out)
{
    const auto* src = reinterpret_cast<const std::uint32_t*>(
        frame.constScanLine(std::clamp(y + offset.y(), 0, frame.height() - 1)));
    for (int x = begin; x < end; ++x)
        *out++ = src[std::clamp(x + offset.x(), 0, frame.width() - 1)];
}

} // namespace

int BurstMerger::agreementThreshold(const QImage& frame)
{
    const QImage pixels = bgra(frame);
    std::array<std::uint32_t, 766> histogram {};
    std::uint32_t samples = 0;
    for (int y = 1; y < pixels.height(); y += 8) {
        const std::uint8_t* row = pixels.constScanLine(y);
        for (int x = 0; x + 1 < pixels.width(); x += 4) {
            const std::uint8_t* p = row + 4 * x;
            int sad = 0;
            for (int c = 0; c < 3; ++c)
                sad += std::abs(int(p[c]) - int(p[c + 4]));
            ++histogram[std::size_t(sad)];
            ++samples;
        }
    }
    std::uint32_t seen = 0;
    int median = 0;
    for (std::size_t level = 0; level < histogram.size(); ++level) {
        seen += histogram[level];
        if (2 * seen > samples) {
            median = int(level);
            break;
        }
    }
    return std::max(2 * median, kThresholdFloor);
}

QImage BurstMerger::merge(const std::vector<QImage>& frames, const std::vector<QPoint>& offsets)
{
    const int n = int(frames.size());
    if (n == 0 || n > kMaxFrames || frames[0].isNull())
        return {};
    std::vector<QImage> pixels;
    pixels.reserve(frames.size());
    for (const QImage& frame : frames) {
        if (frame.size() != frames[0].size())
            return {};
        pixels.push_back(bgra(frame));
    }
    if (n == 1)
        return pixels[0].copy();

    const int width = pixels[0].width();
    const int height = pixels[0].height();
    std::vector<QPoint> shift(frames.size());
    std::copy_n(offsets.begin(), std::min(offsets.size(), shift.size()), shift.begin());
    // Columns [left, right) of every shifted frame lie inside the frame and are read in place;
    // only the columns outside, where some frame repeats its border, are gathered first.
    int left = 0, right = width;
    for (const QPoint& offset : shift) {
        left = std::max(left, -offset.x());
        right = std::min(right, width - offset.x());
    }
    left = std::min(left, width);
    right = std::max(right, left);
    const int edge = left + (width - right);

    const detail::MergeParams params = detail::mergeParams(n, agreementThreshold(pixels[0]));
    QImage out(pixels[0].size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<std::uint32_t> edges(std::size_t(edge) * std::size_t(n));
    const std::uint8_t* leftRows[kMaxFrames];
    const std::uint8_t* innerRows[kMaxFrames];
    const std::uint8_t* rightRows[kMaxFrames];
    for (int y = 0; y < height; ++y) {
        for (std::size_t i = 0; i < std::size_t(n); ++i) {
            const QImage& frame = pixels[i];
            std::uint32_t* gathered = edges.data() + std::size_t(edge) * i;
            shiftedPixels(frame, shift[i], y, 0, left, gathered);
            shiftedPixels(frame, shift[i], y, right, width, gathered + left);
            leftRows[i] = reinterpret_cast<const std::uint8_t*>(gathered);
            rightRows[i] = reinterpret_cast<const std::uint8_t*>(gathered + left);
            // Only a row that has inner columns is pointed into, so the pointer stays in the row.
            const std::uint8_t* source = frame.constScanLine(std::clamp(y + shift[i].y(), 0, height - 1));
            innerRows[i] = right > left ? source + 4 * std::ptrdiff_t(left + shift[i].x()) : source;
        }
        std::uint8_t* dst = out.scanLine(y);
        if (left > 0)
            detail::mergeSpan(leftRows, std::size_t(left), params, dst);
        if (right > left)
            detail::mergeSpan(innerRows, std::size_t(right - left), params, dst + 4 * left);
        if (width > right)
            detail::mergeSpan(rightRows, std::size_t(width - right), params, dst + 4 * right);
    }
    return out;
}

QImage BurstMerger::stack(const std::vector<QImage>& frames, int maxShift, std::vector<QPoint>* offsets)
{
    std::vector<QPoint> found(frames.size());
    if (!frames.empty() && !frames[0].isNull()) {
        BurstAligner aligner(maxShift);
        aligner.setReference(frames[0]);
        for (std::size_t i = 1; i < frames.size(); ++i)
            found[i] = aligner.offsetOf(frames[i]);
    }
    if (offsets)
        *offsets = found;
    return merge(frames, found);
}

} // namespace imaging
