#include "scrollsignature.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace korvel {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
// Grey levels two neighbouring signature pixels may differ by and still be
// one flat area (anti-aliasing, gradients, compression noise).
constexpr int flatTolerance = 5;
// At most this many source pixels are averaged into one signature pixel:
// enough that a thin text stroke still darkens its column, cheap on 4K.
constexpr int samplesPerColumn = 8;
// Fewer compared pixels than this is no evidence either way.
constexpr int minimumCompared = 35;

bool flat(const std::uint8_t* row, int x) {
    return std::abs(row[x] - row[x - 1]) <= flatTolerance;
}

// Luma of a premultiplied BGRA pixel, so transparent areas read as black,
// as drawing into an opaque grey bitmap would show them.
int grey(quint32 pixel) {
    const int r = int((pixel >> 16) & 0xff);
    const int g = int((pixel >> 8) & 0xff);
    const int b = int(pixel & 0xff);
    return (r * 77 + g * 151 + b * 28 + 128) >> 8;
}

// Sum of differences over the scored columns (5, 7, …, 65) of one pair of
// rows; pixels flat in both rows tell nothing and are skipped. Branch-free
// over the packed columns so that the compiler vectorises it.
void compareRows(const ScrollSignature& a, int ya, const ScrollSignature& b, int yb, long& sum,
                 int& count) {
    constexpr int n = ScrollSignature::scoredColumns;
    const std::uint8_t* va = a.scored.data() + size_t(ya) * n;
    const std::uint8_t* fa = a.scoredFlat.data() + size_t(ya) * n;
    const std::uint8_t* vb = b.scored.data() + size_t(yb) * n;
    const std::uint8_t* fb = b.scoredFlat.data() + size_t(yb) * n;
    int rowSum = 0;
    int rowCount = 0;
    for (int k = 0; k < n; ++k) {
        const int counted = 1 - (fa[k] & fb[k]);
        rowSum += counted * std::abs(int(va[k]) - int(vb[k]));
        rowCount += counted;
    }
    sum += rowSum;
    count += rowCount;
}

} // namespace

ScrollSignature ScrollSignature::of(const QImage& image) {
    ScrollSignature s;
    s.height = image.height();
    if (image.isNull())
        return s;
    QImage source = image;
    if (source.format() != QImage::Format_RGB32 &&
        source.format() != QImage::Format_ARGB32_Premultiplied)
        source = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    s.pixels.assign(size_t(columns) * size_t(s.height), 0);
    s.texturedRows.assign(size_t(s.height), 0);
    s.scored.assign(size_t(scoredColumns) * size_t(s.height), 0);
    // The padding column counts as flat in both rows, so it is never scored.
    s.scoredFlat.assign(size_t(scoredColumns) * size_t(s.height), 1);
    if (source.isNull())
        return s;

    // Source columns averaged into each signature column: an even spread over
    // the column's span, or the nearest pixel when the frame is narrower.
    const int w = source.width();
    std::vector<int> xs;
    std::vector<int> firstSample(columns + 1);
    for (int i = 0; i < columns; ++i) {
        firstSample[i] = int(xs.size());
        const int from = int(qint64(i) * w / columns);
        const int to = std::max(int(qint64(i + 1) * w / columns), from + 1);
        const int span = std::min(to, w) - from;
        const int n = std::min(span, samplesPerColumn);
        for (int k = 0; k < n; ++k)
            xs.push_back(from + int((qint64(2) * k + 1) * span / (qint64(2) * n)));
    }
    firstSample[columns] = int(xs.size());

    for (int y = 0; y < s.height; ++y) {
        const auto* src = reinterpret_cast<const quint32*>(source.constScanLine(y));
        std::uint8_t* dst = s.pixels.data() + size_t(y) * columns;
        for (int i = 0; i < columns; ++i) {
            const int from = firstSample[i];
            const int n = firstSample[i + 1] - from;
            int total = 0;
            for (int k = 0; k < n; ++k)
                total += grey(src[xs[size_t(from) + size_t(k)]]);
            dst[i] = std::uint8_t((total + n / 2) / n);
        }
        std::uint8_t* packed = s.scored.data() + size_t(y) * scoredColumns;
        std::uint8_t* packedFlat = s.scoredFlat.data() + size_t(y) * scoredColumns;
        for (int x = 5, k = 0; x <= 65; x += 2, ++k) {
            packed[k] = dst[x];
            packedFlat[k] = flat(dst, x) ? 1 : 0;
            if (!packedFlat[k])
                s.texturedRows[size_t(y)] = 1;
        }
    }
    return s;
}

double ScrollSignature::difference(const ScrollSignature& other) const {
    const size_t n = std::min(pixels.size(), other.pixels.size());
    if (n == 0)
        return 0;
    long sum = 0;
    long samples = 0;
    for (size_t i = 0; i < n; i += 11) {
        sum += std::abs(pixels[i] - other.pixels[i]);
        ++samples;
    }
    return double(sum) / double(samples);
}

double ScrollSignature::score(const ScrollSignature& other, int shift, int top, int bottom,
                              int rows) const {
    const int end = height - bottom - shift;
    const int overlap = end - top;
    const int minimumOverlap = height > 287 ? height / 12 : 24;
    if (overlap < minimumOverlap || shift < 0 || top < 0 || other.height != height ||
        other.width != width || rows < 1)
        return infinity;

    long sum = 0;
    int count = 0;
    const int step = std::max(overlap / rows, 1);
    for (int y = top; y < end; y += step)
        compareRows(*this, y + shift, other, y, sum, count);
    if (count >= minimumCompared)
        return double(sum) / count;

    // Sparse content: white space with a few lines. Score only rows where
    // either frame has an edge, or the lines fall between the samples.
    std::vector<int> textured;
    for (int y = top; y < end; ++y) {
        if (texturedRows[size_t(y) + size_t(shift)] || other.texturedRows[size_t(y)])
            textured.push_back(y);
    }
    sum = 0;
    count = 0;
    const size_t listStep = std::max<size_t>(textured.size() / size_t(rows), 1);
    for (size_t i = 0; i < textured.size(); i += listStep)
        compareRows(*this, textured[i] + shift, other, textured[i], sum, count);
    if (count < minimumCompared)
        return infinity;
    return double(sum) / count;
}

} // namespace korvel
