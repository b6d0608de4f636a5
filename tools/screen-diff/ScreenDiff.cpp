#include "ScreenDiff.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <utility>

#include <QPainter>

namespace screens {

namespace {

bool near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) <= kChannelThreshold
        && std::abs(qGreen(a) - qGreen(b)) <= kChannelThreshold
        && std::abs(qBlue(a) - qBlue(b)) <= kChannelThreshold;
}

// Whether some pixel of `image` within one pixel of (x, y) is near `colour`.
bool matchedAround(const QImage& image, int x, int y, QRgb colour)
{
    for (int v = std::max(0, y - 1); v <= std::min(image.height() - 1, y + 1); ++v) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(v));
        for (int u = std::max(0, x - 1); u <= std::min(image.width() - 1, x + 1); ++u)
            if (near(row[u], colour))
                return true;
    }
    return false;
}

} // namespace

ScreenDiff compareScreens(const QImage& baselineImage, const QImage& freshImage, int scale)
{
    ScreenDiff diff;
    if (baselineImage.size() != freshImage.size()) {
        diff.sizeDiffers = true;
        return diff;
    }
    const QImage before = baselineImage.convertToFormat(QImage::Format_RGB32);
    const QImage after = freshImage.convertToFormat(QImage::Format_RGB32);
    const int side = kCellPoints * std::max(1, scale);
    for (int top = 0; top < after.height(); top += side) {
        for (int left = 0; left < after.width(); left += side) {
            Cell cell { QRect(left, top, side, side) & after.rect() };
            for (int y = cell.pixels.top(); y <= cell.pixels.bottom(); ++y) {
                const auto* was = reinterpret_cast<const QRgb*>(before.constScanLine(y));
                const auto* now = reinterpret_cast<const QRgb*>(after.constScanLine(y));
                for (int x = cell.pixels.left(); x <= cell.pixels.right(); ++x) {
                    if (near(was[x], now[x]))
                        continue;
                    ++cell.differing;
                    if (!matchedAround(after, x, y, was[x]) || !matchedAround(before, x, y, now[x]))
                        ++cell.strong;
                }
            }
            if (cell.differing == 0)
                continue;
            const int area = cell.pixels.width() * cell.pixels.height();
            cell.layout = cell.strong >= kLayoutShare * area;
            ++(cell.layout ? diff.layoutCells : diff.renderingCells);
            diff.cells.push_back(cell);
        }
    }
    return diff;
}

std::vector<Region> regions(const ScreenDiff& diff)
{
    // Cells are joined by a flood over the grid; a cell's key is its top-left corner.
    std::map<std::pair<int, int>, const Cell*> open;
    int side = 1;
    for (const Cell& cell : diff.cells) {
        open[{ cell.pixels.top(), cell.pixels.left() }] = &cell;
        side = std::max({ side, cell.pixels.width(), cell.pixels.height() });
    }
    std::vector<Region> found;
    while (!open.empty()) {
        Region region;
        std::vector<const Cell*> pending { open.begin()->second };
        open.erase(open.begin());
        while (!pending.empty()) {
            const Cell* cell = pending.back();
            pending.pop_back();
            region.pixels |= cell->pixels;
            region.layout |= cell->layout;
            ++region.cells;
            for (int dy = -side; dy <= side; dy += side)
                for (int dx = -side; dx <= side; dx += side)
                    if (const auto it = open.find({ cell->pixels.top() + dy, cell->pixels.left() + dx });
                        it != open.end()) {
                        pending.push_back(it->second);
                        open.erase(it);
                    }
        }
        found.push_back(region);
    }
    std::sort(found.begin(), found.end(), [](const Region& a, const Region& b) {
        return std::pair(a.pixels.top(), a.pixels.left()) < std::pair(b.pixels.top(), b.pixels.left());
    });
    return found;
}

QImage drawDiff(const QImage& fresh, const ScreenDiff& diff)
{
    QImage out = fresh.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&out);
    if (diff.sizeDiffers) {
        painter.setPen(QPen(Qt::red, 4));
        painter.drawRect(out.rect().adjusted(2, 2, -2, -2));
        return out;
    }
    for (const Cell& cell : diff.cells) {
        painter.setPen(cell.layout ? QColor(255, 0, 0) : QColor(255, 176, 0));
        painter.drawRect(cell.pixels.adjusted(0, 0, -1, -1));
    }
    return out;
}

} // namespace screens
