#include "imagefilters.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace korvel {
namespace {

// Splits [0, count) into bands run on a few threads; small jobs stay on the
// calling thread, where starting threads would cost more than it saves.
template <class F> void parallelBands(int count, qint64 work, F&& body) {
    const unsigned hardware = std::max(1u, std::thread::hardware_concurrency());
    const int threads = work < 200'000 ? 1 : int(std::min({hardware, 8u, unsigned(count)}));
    if (threads <= 1) {
        body(0, count);
        return;
    }
    std::vector<std::thread> pool;
    const int band = (count + threads - 1) / threads;
    for (int t = 1; t < threads; ++t) {
        const int begin = t * band, end = std::min(count, begin + band);
        if (begin < end)
            pool.emplace_back([&body, begin, end] { body(begin, end); });
    }
    body(0, std::min(count, band));
    for (auto& thread : pool)
        thread.join();
}

QImage premultiplied(const QImage& image) {
    return image.format() == QImage::Format_ARGB32_Premultiplied
               ? image
               : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Division by a box's pixel count through a 24-bit fixed-point reciprocal;
// exact for every sum of 8-bit values the boxes here produce.
struct Divider {
    uint64_t inverse;
    explicit Divider(uint32_t n) : inverse(((uint64_t(1) << 32) + n / 2) / n) {}
    uint8_t operator()(uint32_t sum) const {
        return uint8_t((sum * inverse + (uint64_t(1) << 31)) >> 32);
    }
};

// out[i] = mean of in[i … i + 2r], per byte channel; `in` holds len + 2r pixels.
void boxLine(const uint8_t* in, uint8_t* out, int len, int r) {
    const Divider divide(uint32_t(2 * r + 1));
    uint32_t sum[4] = {0, 0, 0, 0};
    for (int i = 0; i < 2 * r; ++i)
        for (int c = 0; c < 4; ++c)
            sum[c] += in[i * 4 + c];
    for (int i = 0; i < len; ++i) {
        for (int c = 0; c < 4; ++c) {
            sum[c] += in[(i + 2 * r) * 4 + c];
            out[i * 4 + c] = divide(sum[c]);
            sum[c] -= in[i * 4 + c];
        }
    }
}

// The same down a stack of rows, `bytes` wide: rows[j] for j in [0, count + 2r).
// All columns advance together, which the compiler vectorises.
void boxColumns(const std::vector<const uint8_t*>& rows, const std::vector<uint8_t*>& out,
                int count, int r, int bytes, std::vector<uint32_t>& sums) {
    const Divider divide(uint32_t(2 * r + 1));
    std::fill(sums.begin(), sums.begin() + bytes, 0u);
    for (int j = 0; j < 2 * r; ++j)
        for (int b = 0; b < bytes; ++b)
            sums[size_t(b)] += rows[size_t(j)][b];
    for (int j = 0; j < count; ++j) {
        const uint8_t* incoming = rows[size_t(j + 2 * r)];
        const uint8_t* outgoing = rows[size_t(j)];
        uint8_t* target = out[size_t(j)];
        for (int b = 0; b < bytes; ++b) {
            const uint32_t sum = sums[size_t(b)] + incoming[b];
            target[b] = divide(sum);
            sums[size_t(b)] = sum - outgoing[b];
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
    const int by0 = area.y() / block, by1 = (area.y() + area.height() - 1) / block;
    const int bx0 = area.x() / block, bx1 = (area.x() + area.width() - 1) / block;
    const qint64 work = qint64(by1 - by0 + 1) * block * image.width();
    parallelBands(by1 - by0 + 1, work, [&](int begin, int end) {
        for (int by = by0 + begin; by < by0 + end; ++by) {
            const int y0 = by * block, y1 = std::min(image.height(), y0 + block);
            for (int bx = bx0; bx <= bx1; ++bx) {
                const int x0 = bx * block, x1 = std::min(image.width(), x0 + block);
                uint64_t sum[4] = {0, 0, 0, 0};
                for (int y = y0; y < y1; ++y) {
                    const uint8_t* line = image.constScanLine(y) + x0 * 4;
                    for (int i = 0; i < (x1 - x0) * 4; i += 4)
                        for (int c = 0; c < 4; ++c)
                            sum[c] += line[i + c];
                }
                const uint64_t n = uint64_t(y1 - y0) * uint64_t(x1 - x0);
                uint8_t mean[4];
                for (int c = 0; c < 4; ++c)
                    mean[c] = uint8_t((sum[c] + n / 2) / n);
                quint32 pixel;
                std::memcpy(&pixel, mean, 4);
                // Only the part of the block inside the tile is written.
                const int ty0 = std::max(y0, area.y()) - area.y();
                const int ty1 = std::min(y1, area.y() + area.height()) - area.y();
                const int tx0 = std::max(x0, area.x()) - area.x();
                const int tx1 = std::min(x1, area.x() + area.width()) - area.x();
                for (int ty = ty0; ty < ty1; ++ty) {
                    auto* row = reinterpret_cast<quint32*>(out.scanLine(ty));
                    std::fill(row + tx0, row + tx1, pixel);
                }
            }
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
    const double m = std::round((12 * sigma * sigma - 3.0 * wl * wl - 12.0 * wl - 9) / (-4.0 * wl - 4));
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
    std::vector<uint8_t> horizontal(size_t(rowCount) * size_t(w) * 4);
    parallelBands(rowCount, qint64(rowCount) * (w + 2 * reach), [&](int begin, int end) {
        std::vector<uint8_t> a(size_t(w + 2 * reach) * 4), b(a.size());
        for (int j = begin; j < end; ++j) {
            const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(rowBegin + j));
            auto* ext = reinterpret_cast<quint32*>(a.data());
            // Edge pixels repeat outwards.
            for (int i = 0; i < w + 2 * reach; ++i)
                ext[i] = line[std::clamp(area.x() - reach + i, 0, imageW - 1)];
            int len = w + 2 * reach;
            uint8_t* in = a.data();
            uint8_t* out = b.data();
            for (int r : radii) {
                len -= 2 * r;
                boxLine(in, out, len, r);
                std::swap(in, out);
            }
            std::memcpy(horizontal.data() + size_t(j) * size_t(w) * 4, in, size_t(w) * 4);
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
        std::vector<uint32_t> sums(stripWidth * 4);
        std::vector<const uint8_t*> in(static_cast<size_t>(stack));
        std::vector<uint8_t*> out(static_cast<size_t>(stack));
        for (int strip = begin; strip < end; ++strip) {
            const int x0 = strip * stripWidth;
            const int bytes = std::min(stripWidth, w - x0) * 4;
            for (int j = 0; j < stack; ++j) {
                const int y = std::clamp(area.y() - reach + j, 0, imageH - 1) - rowBegin;
                in[size_t(j)] = horizontal.data() + (size_t(y) * size_t(w) + size_t(x0)) * 4;
            }
            int count = stack;
            uint8_t* buffer = a.data();
            for (size_t pass = 0; pass < 3; ++pass) {
                const int r = radii[pass];
                count -= 2 * r;
                for (int j = 0; j < count; ++j)
                    out[size_t(j)] = pass == 2 ? resultBits + j * resultStride + x0 * 4
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
