#include "imagefilters.h"

#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <latch>
#include <thread>
#include <vector>

namespace korvel {
namespace {

// A pool of our own: the filters wait for their bands, and waiting inside a
// shared pool that other work fills could starve.
QThreadPool& filterPool() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        // The calling thread takes one band itself.
        p->setMaxThreadCount(int(std::clamp(std::thread::hardware_concurrency(), 2u, 8u)) - 1);
        p->setExpiryTimeout(-1); // keep the threads; starting them costs more than a band
        return p;
    }();
    return *pool;
}

// Splits [0, count) into bands run in parallel; small jobs stay on the calling
// thread, where handing them out would cost more than it saves.
template <class F> void parallelBands(int count, qint64 work, F&& body) {
    const int threads = work < 200'000 ? 1 : std::min(filterPool().maxThreadCount() + 1, count);
    if (threads <= 1) {
        body(0, count);
        return;
    }
    const int band = (count + threads - 1) / threads;
    std::latch done(threads - 1);
    for (int t = 1; t < threads; ++t) {
        const int begin = std::min(count, t * band), end = std::min(count, begin + band);
        filterPool().start([&body, &done, begin, end] {
            if (begin < end)
                body(begin, end);
            done.count_down();
        });
    }
    body(0, std::min(count, band));
    done.wait();
}

QImage premultiplied(const QImage& image) {
    return image.format() == QImage::Format_ARGB32_Premultiplied
               ? image
               : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Sums of 8-bit values over a box stay below 2^24, so a float reciprocal
// rounds them exactly (a flat area keeps its value) and vectorises well.
inline uint8_t mean(uint32_t sum, float inverse) {
    // Means are never negative, so adding a half and truncating rounds.
    return uint8_t(float(sum) * inverse + 0.5f); // NOLINT(bugprone-incorrect-roundings)
}

// Built for AVX2 as well where the processor has it; the loops are the same.
#if defined(__x86_64__) && defined(__GNUC__)
#define KORVEL_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KORVEL_VECTOR_CLONES
#endif

// Box means down a stack of rows, `bytes` wide: rows[j] for j in [0, count + 2r).
// All columns advance together, which the compiler vectorises.
KORVEL_VECTOR_CLONES void boxColumns(const std::vector<const uint8_t*>& rows,
                                     const std::vector<uint8_t*>& out, int count, int r, int bytes,
                                     std::vector<uint32_t>& sums) {
    const float inverse = 1.0f / float(2 * r + 1);
    uint32_t* sum = sums.data();
    std::fill(sum, sum + bytes, 0u);
    for (int j = 0; j < 2 * r; ++j) {
        const uint8_t* row = rows[size_t(j)];
        for (int b = 0; b < bytes; ++b)
            sum[b] += row[b];
    }
    for (int j = 0; j < count; ++j) {
        const uint8_t* incoming = rows[size_t(j) + size_t(2 * r)];
        const uint8_t* outgoing = rows[size_t(j)];
        uint8_t* target = out[size_t(j)];
        for (int b = 0; b < bytes; ++b) {
            const uint32_t total = sum[b] + incoming[b];
            target[b] = mean(total, inverse);
            sum[b] = total - outgoing[b];
        }
    }
}

} // namespace

QImage pixellate(const QImage& source, const QRect& rawArea, int block) {
    const QImage image = premultiplied(source);
    const QRect area = rawArea.intersected(image.rect());
    if (area.isEmpty())
        return {};
    block = std::max(1, block);
    QImage out(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return {};
    uint8_t* outBits = out.bits();
    const qsizetype outStride = out.bytesPerLine();
    // Blocks whose columns meet the area, and the image columns they span.
    const int bx0 = area.x() / block, bx1 = (area.x() + area.width() - 1) / block;
    const int cx0 = bx0 * block, cx1 = std::min(image.width(), (bx1 + 1) * block);
    const int by0 = area.y() / block, by1 = (area.y() + area.height() - 1) / block;
    const qint64 work = qint64(by1 - by0 + 1) * block * (cx1 - cx0);
    parallelBands(by1 - by0 + 1, work, [&](int begin, int end) {
        // Column sums over one block row, then block sums over the columns.
        std::vector<uint64_t> columns(size_t(cx1 - cx0) * 4);
        std::vector<quint32> row(size_t(area.width()));
        for (int by = by0 + begin; by < by0 + end; ++by) {
            const int y0 = by * block, y1 = std::min(image.height(), y0 + block);
            std::fill(columns.begin(), columns.end(), 0);
            for (int y = y0; y < y1; ++y) {
                const uint8_t* line = image.constScanLine(y) + qsizetype(cx0) * 4;
                for (size_t b = 0; b < columns.size(); ++b)
                    columns[b] += line[b];
            }
            for (int bx = bx0; bx <= bx1; ++bx) {
                const int x0 = bx * block, x1 = std::min(image.width(), x0 + block);
                uint64_t sum[4] = {0, 0, 0, 0};
                for (int x = x0; x < x1; ++x)
                    for (int c = 0; c < 4; ++c)
                        sum[c] += columns[size_t(x - cx0) * 4 + size_t(c)];
                const uint64_t n = uint64_t(y1 - y0) * uint64_t(x1 - x0);
                uint8_t average[4];
                for (int c = 0; c < 4; ++c)
                    average[c] = uint8_t((sum[c] + n / 2) / n);
                quint32 pixel;
                std::memcpy(&pixel, average, 4);
                // Only the part of the block inside the area is written.
                const int tx0 = std::max(x0, area.x()) - area.x();
                const int tx1 = std::min(x1, area.x() + area.width()) - area.x();
                std::fill(row.begin() + tx0, row.begin() + tx1, pixel);
            }
            const int ty0 = std::max(y0, area.y()) - area.y();
            const int ty1 = std::min(y1, area.y() + area.height()) - area.y();
            for (int ty = ty0; ty < ty1; ++ty)
                std::memcpy(outBits + ty * outStride, row.data(), row.size() * 4);
        }
    });
    return out;
}

std::array<int, 3> boxRadiiForGaussian(double sigma) {
    if (!std::isfinite(sigma) || sigma <= 0)
        return {0, 0, 0};
    // Three boxes of widths wl or wl + 2 whose variances add up to sigma².
    sigma = std::min(sigma, 2000.0); // beyond this the area is one flat average
    const double ideal = std::sqrt(12 * sigma * sigma / 3 + 1);
    int wl = int(std::floor(ideal));
    if (wl % 2 == 0)
        --wl;
    wl = std::max(wl, 1);
    const double m =
        std::round((12 * sigma * sigma - 3.0 * wl * wl - 12.0 * wl - 9) / (-4.0 * wl - 4));
    std::array<int, 3> radii{};
    for (int i = 0; i < 3; ++i)
        radii[size_t(i)] = ((i < m ? wl : wl + 2) - 1) / 2;
    return radii;
}

QImage gaussianBlur(const QImage& source, const QRect& rawArea, double sigma) {
    const QImage image = premultiplied(source);
    const QRect area = rawArea.intersected(image.rect());
    if (area.isEmpty())
        return {};
    const std::array<int, 3> radii = boxRadiiForGaussian(sigma);
    const int reach = radii[0] + radii[1] + radii[2];
    if (reach == 0)
        return image.copy(area);
    const int w = area.width(), h = area.height();
    const int imageW = image.width(), imageH = image.height();

    // Horizontal passes over every image row the vertical passes will read.
    const int rowBegin = std::max(0, area.y() - reach);
    const int rowEnd = std::min(imageH, area.y() + h + reach);
    const int rowCount = rowEnd - rowBegin;
    // Kept between calls: fresh pages for every blur cost more than the blur.
    // It never grows beyond four bytes per pixel of the largest area blurred.
    // The worker threads reach it through this pointer, not by name: by name
    // each thread would see its own, empty, scratch.
    thread_local std::vector<uint8_t> scratch;
    scratch.resize(std::max(scratch.size(), size_t(rowCount) * size_t(w) * 4));
    uint8_t* const horizontal = scratch.data();
    // Rows go through in groups, interleaved pixel by pixel, so that one box
    // pass advances all rows of the group at once like the vertical passes do.
    constexpr int group = 8;
    const int groups = (rowCount + group - 1) / group;
    const int extended = w + 2 * reach;
    parallelBands(groups, qint64(rowCount) * extended, [&](int begin, int end) {
        std::vector<uint8_t> a(size_t(extended) * group * 4), b(a.size());
        std::vector<uint32_t> sums(size_t(group) * 4);
        std::vector<const uint8_t*> in(static_cast<size_t>(extended));
        std::vector<uint8_t*> out(static_cast<size_t>(extended));
        for (int g = begin; g < end; ++g) {
            const int first = g * group, rows = std::min(group, rowCount - first);
            auto* interleaved = reinterpret_cast<quint32*>(a.data());
            for (int k = 0; k < group; ++k) {
                // A short last group repeats its last row; those lanes are dropped.
                const auto* line = reinterpret_cast<const quint32*>(
                    image.constScanLine(rowBegin + first + std::min(k, rows - 1)));
                // Edge pixels repeat outwards; the middle is a plain copy.
                const int offset = area.x() - reach;
                const int inside0 = std::clamp(-offset, 0, extended);
                const int inside1 = std::clamp(imageW - offset, inside0, extended);
                for (int i = 0; i < inside0; ++i)
                    interleaved[i * group + k] = line[0];
                for (int i = inside0; i < inside1; ++i)
                    interleaved[i * group + k] = line[offset + i];
                for (int i = inside1; i < extended; ++i)
                    interleaved[i * group + k] = line[imageW - 1];
            }
            for (int i = 0; i < extended; ++i)
                in[size_t(i)] = a.data() + size_t(i) * group * 4;
            int count = extended;
            uint8_t* buffer = b.data();
            for (int r : radii) {
                count -= 2 * r;
                for (int i = 0; i < count; ++i)
                    out[size_t(i)] = buffer + size_t(i) * group * 4;
                boxColumns(in, out, count, r, group * 4, sums);
                std::copy(out.begin(), out.begin() + count, in.begin());
                buffer = buffer == a.data() ? b.data() : a.data();
            }
            for (int k = 0; k < rows; ++k) {
                auto* target =
                    reinterpret_cast<quint32*>(horizontal + size_t(first + k) * size_t(w) * 4);
                for (int x = 0; x < w; ++x)
                    target[x] = reinterpret_cast<const quint32*>(in[size_t(x)])[k];
            }
        }
    });

    // Vertical passes in strips of columns, so that the intermediate stacks
    // stay small whatever the radius; rows beyond the image repeat its first
    // and last row.
    QImage result(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (result.isNull())
        return {};
    uint8_t* resultBits = result.bits();
    const qsizetype resultStride = result.bytesPerLine();
    constexpr int stripWidth = 64;
    const int strips = (w + stripWidth - 1) / stripWidth;
    const int stack = h + 2 * reach;
    parallelBands(strips, qint64(stack) * w, [&](int begin, int end) {
        std::vector<uint8_t> a(size_t(stack) * stripWidth * 4), b(a.size());
        std::vector<uint32_t> sums(size_t(stripWidth) * 4);
        std::vector<const uint8_t*> in(static_cast<size_t>(stack));
        std::vector<uint8_t*> out(static_cast<size_t>(stack));
        for (int strip = begin; strip < end; ++strip) {
            const int x0 = strip * stripWidth;
            const int bytes = std::min(stripWidth, w - x0) * 4;
            for (int j = 0; j < stack; ++j) {
                const int y = std::clamp(area.y() - reach + j, 0, imageH - 1) - rowBegin;
                in[size_t(j)] = horizontal + (size_t(y) * size_t(w) + size_t(x0)) * 4;
            }
            int count = stack;
            uint8_t* buffer = a.data();
            for (size_t pass = 0; pass < 3; ++pass) {
                const int r = radii[pass];
                count -= 2 * r;
                for (int j = 0; j < count; ++j)
                    out[size_t(j)] = pass == 2 ? resultBits + j * resultStride + qsizetype(x0) * 4
                                               : buffer + size_t(j) * stripWidth * 4;
                boxColumns(in, out, count, r, bytes, sums);
                std::copy(out.begin(), out.begin() + count, in.begin());
                buffer = buffer == a.data() ? b.data() : a.data();
            }
        }
    });
    return result;
}

} // namespace korvel
