// screen-diff [--scale S] BASELINE.png NEW.png [DIFF.png]
//
// Compares two screenshots of one screen state (ScreenDiff.h says how), prints the differing
// regions in points and a last line `summary: VERDICT CELLS RENDERING_CELLS` (VERDICT: identical,
// rendering, layout), and writes DIFF.png when given. Exit status 0 for the same layout, 1 for a
// layout difference, 2 when a picture cannot be read or written.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <QImage>

#include "ScreenDiff.h"

namespace {

int usage()
{
    std::fprintf(stderr, "usage: screen-diff [--scale S] BASELINE.png NEW.png [DIFF.png]\n");
    return 2;
}

// At most this many regions are listed; the count of the rest follows.
constexpr int kListed = 40;

} // namespace

int main(int argc, char** argv)
{
    int scale = 1;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--scale") == 0) {
        scale = std::atoi(argv[2]);
        first = 3;
    }
    const int paths = argc - first;
    if (scale < 1 || paths < 2 || paths > 3)
        return usage();
    const QImage baseline(QString::fromLocal8Bit(argv[first]));
    const QImage fresh(QString::fromLocal8Bit(argv[first + 1]));
    for (const auto& [image, path] :
        { std::pair(&baseline, argv[first]), std::pair(&fresh, argv[first + 1]) })
        if (image->isNull()) {
            std::fprintf(stderr, "screen-diff: cannot read %s\n", path);
            return 2;
        }

    const screens::ScreenDiff diff = screens::compareScreens(baseline, fresh, scale);
    if (diff.sizeDiffers)
        std::printf("size differs: %dx%d against %dx%d pixels\n", fresh.width(), fresh.height(),
            baseline.width(), baseline.height());
    int listed = 0;
    const auto found = screens::regions(diff);
    for (const screens::Region& region : found) {
        if (listed++ == kListed) {
            std::printf("... %d more regions\n", int(found.size()) - kListed);
            break;
        }
        const QRect& r = region.pixels;
        std::printf("%-9s x %d y %d w %d h %d pt (%d cells)\n", region.layout ? "layout" : "rendering",
            r.x() / scale, r.y() / scale, r.width() / scale, r.height() / scale, region.cells);
    }
    if (argc - first == 3 && !screens::drawDiff(fresh, diff).save(QString::fromLocal8Bit(argv[first + 2]))) {
        std::fprintf(stderr, "screen-diff: cannot write %s\n", argv[first + 2]);
        return 2;
    }
    const char* verdict = diff.identical() ? "identical" : diff.sameLayout() ? "rendering" : "layout";
    std::printf("summary: %s %d %d\n", verdict, int(diff.cells.size()), diff.renderingCells);
    return diff.sameLayout() ? 0 : 1;
}
