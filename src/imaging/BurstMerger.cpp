#include "imaging/BurstMerger.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "imaging/BurstAligner.h"
#include "imaging/CpuClones.h"

namespace imaging {

namespace {

constexpr int kThresholdFloor = 12;

QImage bgra(const QImage& image)
{
    return image.format() == QImage::Format_ARGB32_Premultiplied
        ? image
        : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Row y of the frame shifted by offset, borders repeated, into out (4 × width bytes).
void shiftedRow(const QImage& frame, QPoint offset, int y, std::uint8_t* out)
{
    const int width = frame.width();
    const auto* src = reinterpret_cast<const std::uint32_t*>(
        frame.constScanLine(std::clamp(y + offset.y(), 0, frame.height() - 1)));
    auto* dst = reinterpret_cast<std::uint32_t*>(out);
    const int dx = offset.x();
    const int begin = std::clamp(-dx, 0, width); // first x whose source x + dx is inside
    const int end = std::clamp(width - dx, 0, width);
    std::fill(dst, dst + begin, src[0]);
    if (end > begin)
        std::memcpy(dst + begin, src + begin + dx, std::size_t(end - begin) * 4);
    std::fill(dst + std::max(begin, end), dst + width, src[width - 1]);
}

// One output row from the n shifted rows (n × 4 × width bytes, one after the other). Plain loops
// for the vectoriser; on x86-64 an AVX2 copy is chosen at run time where the CPU has it.
LUMIVUE_AVX2_CLONES
void mergeRow(const std::uint8_t* rows, int n, int width, int threshold16, const std::uint32_t* reciprocal,
    std::uint16_t* sum, std::uint16_t* low, std::uint16_t* high, std::uint16_t* reference,
    std::uint16_t* agreed, std::uint8_t* count, std::uint8_t* dst)
{
    const std::size_t rowBytes = std::size_t(width) * 4;
    // The robust reference, in 1/16 levels.
    const std::uint8_t* first = rows;
    for (std::size_t j = 0; j < rowBytes; ++j)
        sum[j] = low[j] = high[j] = first[j];
    for (int i = 1; i < n; ++i) {
        const std::uint8_t* row = rows + rowBytes * std::size_t(i);
        for (std::size_t j = 0; j < rowBytes; ++j) {
            sum[j] = std::uint16_t(sum[j] + row[j]);
            low[j] = std::min<std::uint16_t>(low[j], row[j]);
            high[j] = std::max<std::uint16_t>(high[j], row[j]);
        }
    }
    const std::uint32_t scale = 16 * reciprocal[n >= 3 ? n - 2 : n];
    for (std::size_t j = 0; j < rowBytes; ++j) {
        const std::uint32_t kept = n >= 3 ? std::uint32_t(sum[j] - low[j] - high[j]) : sum[j];
        reference[j] = std::uint16_t((kept * scale + 32768) >> 16);
    }

    // The average of the frames that agree with it.
    std::fill(agreed, agreed + rowBytes, 0);
    std::fill(count, count + width, 0);
    for (int i = 0; i < n; ++i) {
        const std::uint8_t* row = rows + rowBytes * std::size_t(i);
        for (int x = 0; x < width; ++x) {
            const std::size_t j = std::size_t(x) * 4;
            const int distance = std::abs(int(row[j]) * 16 - int(reference[j]))
                + std::abs(int(row[j + 1]) * 16 - int(reference[j + 1]))
                + std::abs(int(row[j + 2]) * 16 - int(reference[j + 2]));
            const std::uint16_t take = distance <= threshold16 ? 0xFFFF : 0;
            agreed[j] = std::uint16_t(agreed[j] + (row[j] & take));
            agreed[j + 1] = std::uint16_t(agreed[j + 1] + (row[j + 1] & take));
            agreed[j + 2] = std::uint16_t(agreed[j + 2] + (row[j + 2] & take));
            count[std::size_t(x)] = std::uint8_t(count[std::size_t(x)] + (take & 1));
        }
    }
    for (int x = 0; x < width; ++x) {
        const std::size_t j = std::size_t(x) * 4;
        const std::uint32_t c = count[std::size_t(x)];
        for (std::size_t k = 0; k < 3; ++k)
            dst[j + k] = c ? std::uint8_t((agreed[j + k] * reciprocal[c] + 32768) >> 16)
                           : std::uint8_t((reference[j + k] + 8) >> 4);
        dst[j + 3] = first[j + 3];
    }
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
    const std::size_t rowBytes = std::size_t(width) * 4;
    const int threshold16 = agreementThreshold(pixels[0]) * 16;
    // Reciprocals in 16.16 for the divisions by a frame count (1 to kMaxFrames).
    std::array<std::uint32_t, kMaxFrames + 1> reciprocal {};
    for (int i = 1; i <= kMaxFrames; ++i)
        reciprocal[std::size_t(i)] = std::uint32_t((65536 + i / 2) / i);

    QImage out(pixels[0].size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<std::uint8_t> rows(rowBytes * std::size_t(n));
    std::vector<std::uint16_t> sum(rowBytes), low(rowBytes), high(rowBytes), reference(rowBytes),
        agreed(rowBytes);
    std::vector<std::uint8_t> count(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (int i = 0; i < n; ++i)
            shiftedRow(pixels[std::size_t(i)],
                std::size_t(i) < offsets.size() ? offsets[std::size_t(i)] : QPoint(), y,
                rows.data() + rowBytes * std::size_t(i));

        mergeRow(rows.data(), n, width, threshold16, reciprocal.data(), sum.data(), low.data(), high.data(),
            reference.data(), agreed.data(), count.data(), out.scanLine(y));
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
