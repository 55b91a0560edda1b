#include "readableimage.h"

#include "platform/ocr/greyimage.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace korvel {
namespace {

// Neighbouring pixels of one flat ground differ by at most `step`, and a
// flat run strays at most `drift` from where it started (gentle gradients).
constexpr int step = 3;
constexpr int drift = 8;
// Pixels darker than this are ink when looking for gutters.
constexpr int inkLevel = 160;
// Contrast below this is never stretched to full ink: it is noise or a
// gradient, not greyed text.
constexpr int faintest = 140;
// More blocks than a screen of text has.
constexpr std::size_t maximumBlocks = 400;

// One value per pixel, row by row.
template <typename T> struct Plane {
    int width = 0;
    int height = 0;
    std::vector<T> values;
    Plane(int w, int h, T fill)
        : width(w)
        , height(h)
        , values(std::size_t(w) * std::size_t(h), fill) {}
    T& at(int x, int y) { return values[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
    T at(int x, int y) const {
        return values[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    }
};

// Ground: pixels on flat runs, along a row or a column, of at least
// `minimum` pixels. Glyph strokes are shorter than three text heights; the
// ground between and around lines of text, frames and rules are not. Other
// pixels are -1.
Plane<std::int16_t> groundSeeds(const QImage& grey, int minimum) {
    const int w = grey.width(), h = grey.height();
    Plane<std::int16_t> seeds(w, h, -1);
    const auto value = [&](int x, int y) { return int(grey.constScanLine(y)[x]); };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w;) {
            const int start = x++;
            while (x < w && std::abs(value(x, y) - value(x - 1, y)) <= step &&
                   std::abs(value(x, y) - value(start, y)) <= drift)
                ++x;
            for (int i = start; x - start >= minimum && i < x; ++i)
                seeds.at(i, y) = std::int16_t(value(i, y));
        }
    }
    std::vector<int> start(std::size_t(w), 0);
    for (int y = 1; y <= h; ++y) {
        for (int x = 0; x < w; ++x) {
            int& s = start[std::size_t(x)];
            if (y < h && std::abs(value(x, y) - value(x, y - 1)) <= step &&
                std::abs(value(x, y) - value(x, s)) <= drift)
                continue;
            for (int i = s; y - s >= minimum && i < y; ++i)
                seeds.at(x, i) = std::int16_t(value(x, i));
            s = y;
        }
    }
    return seeds;
}

// Each pixel's distance from its ground: the nearest seed above or below it
// within `reach` rows (of two at the same distance, the one it differs from
// more). Pixels with no ground in reach are taken to lie on white.
Plane<uchar> contrastToGround(const QImage& grey, const Plane<std::int16_t>& seeds, int reach) {
    const int w = grey.width(), h = grey.height();
    Plane<std::int16_t> above(w, h, -1);
    Plane<std::int16_t> aboveDistance(w, h, 0);
    std::vector<std::int16_t> value(std::size_t(w), -1);
    std::vector<int> distance(std::size_t(w), 0);
    const auto track = [&](int x, int y) {
        auto& v = value[std::size_t(x)];
        auto& d = distance[std::size_t(x)];
        if (seeds.at(x, y) >= 0) {
            v = seeds.at(x, y);
            d = 0;
        } else if (v >= 0 && ++d > reach) {
            v = -1;
        }
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            track(x, y);
            above.at(x, y) = value[std::size_t(x)];
            aboveDistance.at(x, y) = std::int16_t(distance[std::size_t(x)]);
        }
    }
    Plane<uchar> contrast(w, h, 0);
    std::fill(value.begin(), value.end(), std::int16_t(-1));
    for (int y = h - 1; y >= 0; --y) {
        const uchar* row = grey.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            track(x, y);
            const int up = above.at(x, y), down = value[std::size_t(x)];
            const int upDistance = aboveDistance.at(x, y), downDistance = distance[std::size_t(x)];
            int ground = 255;
            if (up >= 0 && down >= 0 && upDistance == downDistance)
                ground = std::abs(row[x] - up) > std::abs(row[x] - down) ? up : down;
            else if (up >= 0 && (down < 0 || upDistance < downDistance))
                ground = up;
            else if (down >= 0)
                ground = down;
            contrast.at(x, y) = uchar(std::abs(int(row[x]) - ground));
        }
    }
    return contrast;
}

// The maximum of each window of 2r+1 values along a line (van Herk and
// Gil-Werman: three comparisons per value whatever r is).
void windowMax(std::vector<uchar>& line, int radius) {
    const std::size_t n = line.size(), r = std::size_t(radius), k = 2 * r + 1;
    std::vector<uchar> ahead(n), behind(n);
    for (std::size_t i = 0; i < n; ++i)
        ahead[i] = i % k == 0 ? line[i] : std::max(ahead[i - 1], line[i]);
    for (std::size_t i = n; i-- > 0;)
        behind[i] = (i + 1) % k == 0 || i + 1 == n ? line[i] : std::max(behind[i + 1], line[i]);
    for (std::size_t i = 0; i < n; ++i)
        line[i] = std::max(behind[i > r ? i - r : 0], ahead[std::min(n - 1, i + r)]);
}

// The strongest contrast within `radius` of each pixel.
Plane<uchar> strongestNear(Plane<uchar> plane, int radius) {
    std::vector<uchar> line(std::size_t(plane.width));
    for (int y = 0; y < plane.height; ++y) {
        std::copy_n(&plane.at(0, y), plane.width, line.begin());
        windowMax(line, radius);
        std::copy(line.begin(), line.end(), &plane.at(0, y));
    }
    line.resize(std::size_t(plane.height));
    for (int x = 0; x < plane.width; ++x) {
        for (int y = 0; y < plane.height; ++y)
            line[std::size_t(y)] = plane.at(x, y);
        windowMax(line, radius);
        for (int y = 0; y < plane.height; ++y)
            plane.at(x, y) = line[std::size_t(y)];
    }
    return plane;
}

// The widest blank run of `ink` within [from, to], if at least `gap` long:
// (start, length), or start -1.
std::pair<int, int> widestGap(const std::vector<char>& ink, int from, int to, int gap) {
    std::pair<int, int> best{-1, 0};
    for (int i = from; i <= to;) {
        int j = i;
        while (j <= to && !ink[std::size_t(j)])
            ++j;
        if (j - i >= gap && j - i > best.second)
            best = {i, j - i};
        i = std::max(j, i + 1);
    }
    return best;
}

void cutBlocks(const QImage& grey, QRect r, int rowGap, int columnGap, std::vector<QRect>& out) {
    std::vector<char> rows(std::size_t(r.height()), 0), columns(std::size_t(r.width()), 0);
    for (int y = 0; y < r.height(); ++y) {
        const uchar* line = grey.constScanLine(r.top() + y) + r.left();
        for (int x = 0; x < r.width(); ++x) {
            if (line[x] < inkLevel)
                rows[std::size_t(y)] = columns[std::size_t(x)] = 1;
        }
    }
    const auto first = [](const std::vector<char>& v) {
        return int(std::find(v.begin(), v.end(), 1) - v.begin());
    };
    const auto last = [](const std::vector<char>& v) {
        return int(v.rend() - std::find(v.rbegin(), v.rend(), 1)) - 1;
    };
    const int top = first(rows);
    if (top == r.height())
        return;
    const int left = first(columns), bottom = last(rows), right = last(columns);
    const QRect inked(r.left() + left, r.top() + top, right - left + 1, bottom - top + 1);
    if (const auto [start, length] = widestGap(columns, left, right, columnGap); start >= 0) {
        const int cut = r.left() + start;
        cutBlocks(grey, QRect(QPoint(inked.left(), inked.top()), QPoint(cut - 1, inked.bottom())),
                  rowGap, columnGap, out);
        cutBlocks(grey, QRect(QPoint(cut + length, inked.top()), inked.bottomRight()), rowGap,
                  columnGap, out);
    } else if (const auto [start, length] = widestGap(rows, top, bottom, rowGap); start >= 0) {
        const int cut = r.top() + start;
        cutBlocks(grey, QRect(inked.topLeft(), QPoint(inked.right(), cut - 1)), rowGap, columnGap,
                  out);
        cutBlocks(grey, QRect(QPoint(inked.left(), cut + length), inked.bottomRight()), rowGap,
                  columnGap, out);
    } else {
        out.push_back(inked);
    }
}

} // namespace

QImage readableImage(const QImage& image, int textHeight) {
    const QImage grey = ocr::greyOverWhite(image);
    if (grey.isNull())
        return {};
    textHeight = std::max(textHeight, 8);
    const Plane<std::int16_t> seeds = groundSeeds(grey, std::max(24, 3 * textHeight));
    const Plane<uchar> contrast = contrastToGround(grey, seeds, std::max(48, 4 * textHeight));
    // Faint text is stretched towards the strongest contrast near it.
    const Plane<uchar> strongest = strongestNear(contrast, 2 * textHeight);
    QImage result(grey.width(), grey.height(), QImage::Format_Grayscale8);
    std::size_t i = 0;
    for (int y = 0; y < result.height(); ++y) {
        uchar* out = result.scanLine(y);
        for (int x = 0; x < result.width(); ++x, ++i) {
            const int scale = std::max(int(strongest.values[i]), faintest);
            out[x] = uchar(255 - std::min(255, contrast.values[i] * 255 / scale));
        }
    }
    return result;
}

std::vector<QRect> textBlocks(const QImage& readable, int textHeight) {
    std::vector<QRect> blocks;
    textHeight = std::max(textHeight, 8);
    const QImage grey = readable.convertToFormat(QImage::Format_Grayscale8);
    if (!grey.isNull())
        cutBlocks(grey, grey.rect(), textHeight, textHeight * 3 / 2, blocks);
    // Specks (a cursor, a bullet) hold no text; a picture that falls apart
    // into crumbs is read whole rather than crumb by crumb.
    std::erase_if(blocks, [](const QRect& b) { return b.width() < 4 && b.height() < 4; });
    if (blocks.size() > maximumBlocks)
        return {grey.rect()};
    return blocks;
}

} // namespace korvel
