#pragma once

// Merges a burst of stills of one scene into one picture with less noise: per pixel the average
// of the frames that agree, so an object that appears in only some frames leaves no ghost.
//
// Per pixel and channel, a robust reference is the mean of the frames without the lowest and
// the highest value (the plain mean for two frames). A frame's pixel takes part in the average
// when its distance from the reference, summed over b, g, r, is within the threshold: twice the
// picture's noise (the median over b, g, r of |neighbour difference| in the first frame, about
// 6.5 sigma for independent noise), and at least 12 levels. A pixel that no frame agrees on
// gets the reference. The average is rounded to the nearest level. Alpha is taken from the first
// frame.
//
// Frames are laid on the first by whole-pixel offsets (BurstAligner's); where a shifted frame
// does not cover the picture, its border pixels are repeated.
//
// Pixels: Format_ARGB32_Premultiplied (other formats are converted). All frames must have the
// first frame's size.
//
// The merge runs on the CPU's best instruction set (CpuFeatures.h), byte for byte the same on each.
//
// Threads: pure; any thread.

#include <vector>

#include <QImage>
#include <QPoint>

namespace imaging {

class BurstMerger {
public:
    static constexpr int kMaxFrames = 16;

    // offsets[i]: where frame i shows the first frame (BurstAligner::offsetOf); missing entries
    // are (0, 0). Returns a null image for no frames, more than kMaxFrames, or mixed sizes.
    static QImage merge(const std::vector<QImage>& frames, const std::vector<QPoint>& offsets = {});

    // Aligns every frame on the first (shifts up to maxShift pixels) and merges them. The offsets
    // found are stored in *offsets when given.
    static QImage stack(
        const std::vector<QImage>& frames, int maxShift = 16, std::vector<QPoint>* offsets = nullptr);

    // The threshold merge() uses for this picture, in levels summed over b, g, r.
    static int agreementThreshold(const QImage& frame);
};

} // namespace imaging
