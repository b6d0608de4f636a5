#pragma once
// Compares two screenshots of the same screen state cell by cell and tells a changed layout
// (something moved, appeared, vanished or changed size) from changed rendering (font hinting,
// antialiased edges, a few pixels).
//
// A pixel differs when one of its channels differs by more than kChannelThreshold. It differs
// *strongly* unless the shift of an edge explains it: the baseline pixel is matched by one of
// the 3x3 pixels around the same place in the new picture, and the new pixel by one in the
// baseline. A cell (kCellPoints square, in points) whose strongly differing pixels cover at least
// kLayoutShare of it is a layout cell; a cell with differences below that is a rendering cell.
// Pictures of different sizes differ in layout as a whole.

#include <vector>

#include <QImage>
#include <QRect>

namespace screens {

inline constexpr int kChannelThreshold = 32; // of 255
inline constexpr int kCellPoints = 8;
inline constexpr double kLayoutShare = 0.25;

struct Cell {
    QRect pixels; // in device pixels of the pictures
    int differing { 0 };
    int strong { 0 };
    bool layout { false };
};

// Neighbouring differing cells (touching at a side or a corner) taken together.
struct Region {
    QRect pixels;
    int cells { 0 };
    bool layout { false }; // at least one layout cell
};

struct ScreenDiff {
    bool sizeDiffers { false };
    std::vector<Cell> cells; // the differing cells only, in rows from the top
    int layoutCells { 0 };
    int renderingCells { 0 };

    bool sameLayout() const { return !sizeDiffers && layoutCells == 0; }
    bool identical() const { return !sizeDiffers && cells.empty(); }
};

// scale: device pixels per point, so a cell is kCellPoints * scale pixels square.
ScreenDiff compareScreens(const QImage& baseline, const QImage& fresh, int scale = 1);

std::vector<Region> regions(const ScreenDiff& diff);

// The new picture with every differing cell outlined: red for layout, amber for rendering.
QImage drawDiff(const QImage& fresh, const ScreenDiff& diff);

} // namespace screens
