// Privacy effects at the default strength (3: 24-pixel blocks and radius at
// 1×), beside the naive filters that visit every kernel tap per pixel.
#include "annotate/imagefilters.h"
#include "annotate/privacyeffects.h"

#include <benchmark/benchmark.h>
#include <QGuiApplication>
#include <QPainter>

#include <cmath>
#include <vector>

using namespace korvel;

namespace {

constexpr double defaultAmount = 24;

QImage noise(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    quint32 state = 12345;
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            line[x] = 0xff000000u | (state >> 8);
        }
    }
    return image;
}

QSize sizeOf(const benchmark::State& state) {
    return QSize(int(state.range(0)), int(state.range(1)));
}

void BM_Blur(benchmark::State& state) {
    const QImage image = noise(sizeOf(state));
    for (auto _ : state)
        benchmark::DoNotOptimize(gaussianBlur(image, image.rect(), defaultAmount).constBits());
}

void BM_Mosaic(benchmark::State& state) {
    const QImage image = noise(sizeOf(state));
    for (auto _ : state)
        benchmark::DoNotOptimize(pixellate(image, image.rect(), int(defaultAmount)).constBits());
}

// Drawing a mosaic brush: each pointer move adds a point to a stroke of 200
// points and renders the stroke again over a 1920 × 1080 canvas.
void BM_BrushSegment(benchmark::State& state) {
    const QImage image = noise(QSize(1920, 1080));
    const PrivacySurface surface{image, QSizeF(1920, 1080), image.size(), QPointF(0, 0)};
    QImage target(image.size(), QImage::Format_ARGB32_Premultiplied);
    PrivacyTileCache cache;
    Mark brush;
    brush.tool = Tool::mosaic;
    brush.mosaicBrush = true;
    brush.width = 3;
    for (int i = 0; i < 200; ++i)
        brush.points.append(QPointF(200 + i * 4, 500 + 80 * std::sin(i / 20.0)));
    int step = 0;
    for (auto _ : state) {
        brush.points.append(QPointF(1000 + step % 400, 500 + step % 7));
        ++step;
        QPainter painter(&target);
        painter.translate(0, 1080);
        painter.scale(1, -1);
        drawPrivacyMark(painter, brush, surface, cache);
        brush.points.removeLast();
    }
}

// Naive: every output pixel sums its full separable Gaussian kernel (±3σ).
void naiveBlur(const QImage& image, std::vector<float>& mid, QImage& out, double sigma) {
    const int radius = int(std::ceil(3 * sigma));
    std::vector<float> kernel(size_t(2 * radius + 1));
    float total = 0;
    for (int i = -radius; i <= radius; ++i)
        total += kernel[size_t(i + radius)] = float(std::exp(-i * i / (2 * sigma * sigma)));
    for (float& k : kernel)
        k /= total;
    const int w = image.width(), h = image.height();
    for (int y = 0; y < h; ++y) {
        const uint8_t* line = image.constScanLine(y);
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c) {
                float s = 0;
                for (int i = -radius; i <= radius; ++i)
                    s += kernel[size_t(i + radius)] * line[std::clamp(x + i, 0, w - 1) * 4 + c];
                mid[(size_t(y) * size_t(w) + size_t(x)) * 4 + size_t(c)] = s;
            }
    }
    for (int y = 0; y < h; ++y) {
        uint8_t* line = out.scanLine(y);
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c) {
                float s = 0;
                for (int i = -radius; i <= radius; ++i)
                    s += kernel[size_t(i + radius)] *
                         mid[(size_t(std::clamp(y + i, 0, h - 1)) * size_t(w) + size_t(x)) * 4 +
                             size_t(c)];
                line[x * 4 + c] = uint8_t(std::lround(s));
            }
    }
}

void BM_NaiveBlur(benchmark::State& state) {
    const QImage image = noise(sizeOf(state));
    std::vector<float> mid(size_t(image.width()) * size_t(image.height()) * 4);
    QImage out(image.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state)
        naiveBlur(image, mid, out, defaultAmount);
}

// Naive: every output pixel averages its whole block.
void BM_NaiveMosaic(benchmark::State& state) {
    const QImage image = noise(sizeOf(state));
    QImage out(image.size(), QImage::Format_ARGB32_Premultiplied);
    const int block = int(defaultAmount), w = image.width(), h = image.height();
    for (auto _ : state) {
        for (int y = 0; y < h; ++y) {
            uint8_t* line = out.scanLine(y);
            for (int x = 0; x < w; ++x) {
                const int bx = x / block * block, by = y / block * block;
                const int x1 = std::min(w, bx + block), y1 = std::min(h, by + block);
                uint32_t sum[4] = {0, 0, 0, 0};
                for (int yy = by; yy < y1; ++yy) {
                    const uint8_t* src = image.constScanLine(yy);
                    for (int xx = bx; xx < x1; ++xx)
                        for (int c = 0; c < 4; ++c)
                            sum[c] += src[xx * 4 + c];
                }
                const uint32_t n = uint32_t((x1 - bx) * (y1 - by));
                for (int c = 0; c < 4; ++c)
                    line[x * 4 + c] = uint8_t((sum[c] + n / 2) / n);
            }
        }
        benchmark::DoNotOptimize(out.constBits());
    }
}

BENCHMARK(BM_Blur)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Mosaic)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_BrushSegment)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NaiveBlur)
    ->Args({1920, 1080})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_NaiveMosaic)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
