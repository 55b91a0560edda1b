#include "overlapcheck.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace korvel {
namespace {

// Sampling: every second row, every third column. Glyph strokes are two or
// more pixels wide, so a digit that differs still differs in the samples.
constexpr int rowStep = 2;
constexpr int columnStep = 3;
// Per pixel, over the three channels: below this two pixels are the same,
// above it a pixel has an edge to its left neighbour.
constexpr int sameLevel = 24;
// A row fits when no more than this share of its edges differ.
constexpr double changedRow = 0.2;

int difference(quint32 a, quint32 b) {
    return std::abs(int(qRed(a)) - int(qRed(b))) + std::abs(int(qGreen(a)) - int(qGreen(b))) +
           std::abs(int(qBlue(a)) - int(qBlue(b)));
}

struct RowCount {
    int edges = 0;
    int differing = 0;
    bool fits() const { return edges > 0 && differing <= changedRow * edges; }
};

} // namespace

OverlapCheck OverlapCheck::of(const QImage& previous, const QImage& next, int shift, int top,
                              int bottom) {
    OverlapCheck check;
    const int h = next.height();
    const int w = next.width();
    if (previous.size() != next.size() || previous.format() != next.format() ||
        (next.format() != QImage::Format_ARGB32_Premultiplied &&
         next.format() != QImage::Format_RGB32 && next.format() != QImage::Format_ARGB32))
        return check;
    // Rows of the later frame (in stitching order) and the earlier one that
    // show the same content.
    const QImage& upper = shift >= 0 ? previous : next;
    const QImage& lower = shift >= 0 ? next : previous;
    const int s = std::abs(shift);
    const int rows = h - top - bottom - s;
    if (rows <= 0)
        return check;

    std::vector<RowCount> counts;
    counts.reserve(size_t(rows) / rowStep + 1);
    for (int y = top; y < top + rows; y += rowStep) {
        const auto* a = reinterpret_cast<const quint32*>(upper.constScanLine(y + s));
        const auto* b = reinterpret_cast<const quint32*>(lower.constScanLine(y));
        RowCount c;
        for (int x = columnStep; x < w; x += columnStep) {
            if (difference(a[x], a[x - 1]) <= sameLevel && difference(b[x], b[x - 1]) <= sameLevel)
                continue;
            ++c.edges;
            c.differing += difference(a[x], b[x]) > sameLevel ? 1 : 0;
        }
        counts.push_back(c);
    }

    // A band that changed sits at an end: the rows there that differ, and
    // the empty ones between them. The content between must fit.
    const int quarter = std::max(1, h / 4 / rowStep);
    const int n = int(counts.size());
    const auto inBand = [&](int i) { return !counts[size_t(i)].fits(); };
    int first = 0;
    while (first < std::min(quarter, n) && inBand(first))
        ++first;
    int last = n;
    while (last > std::max(first, n - quarter) && inBand(last - 1))
        --last;
    check.changedTop = first * rowStep;
    check.changedBottom = (n - last) * rowStep;
    int differing = 0;
    for (int i = first; i < last; ++i) {
        check.edges += counts[size_t(i)].edges;
        differing += counts[size_t(i)].differing;
    }
    check.mismatch = check.edges > 0 ? double(differing) / check.edges : 1;
    return check;
}

} // namespace korvel
