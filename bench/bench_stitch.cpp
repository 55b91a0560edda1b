// The scroll stitcher on a drawn document scrolled 120 rows per frame:
// append of 1080p and 4K frames, the signature alone, and composing a
// 20,000-row image; matching alone to tell it from the memory work. Figures
// come from a run by hand, e.g.
//   bench_stitch --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
// and reading the medians.
#include "longshot/longdocument.h"
#include "longshot/scrollsignature.h"
#include "longshot/scrollstitcher.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <vector>

using namespace korvel;

namespace {

constexpr int step = 120;

// Frames are views into the page, as a capture's frames would be fresh
// bitmaps: the stitcher never writes to them.
struct Scroll {
    QImage page;
    std::vector<QImage> frames;

    Scroll(int width, int viewport, int count)
        : page(scenes::longDocument(width, viewport + step * count, 21)) {
        for (int i = 0; i <= count; ++i) {
            frames.emplace_back(page.constScanLine(i * step), width, viewport, page.bytesPerLine(),
                                page.format());
        }
    }
};

void appendFrames(benchmark::State& state, int width, int height) {
    static std::map<int, std::unique_ptr<Scroll>> scrolls;
    auto& scroll = scrolls[width];
    if (!scroll)
        scroll = std::make_unique<Scroll>(width, height, 24);
    auto stitcher = std::make_unique<ScrollStitcher>(scroll->frames[0], qint64(1) << 40);
    size_t next = 1;
    for (auto _ : state) {
        if (next == scroll->frames.size()) {
            state.PauseTiming();
            stitcher = std::make_unique<ScrollStitcher>(scroll->frames[0], qint64(1) << 40);
            next = 1;
            state.ResumeTiming();
        }
        const ScrollAppendResult result = stitcher->append(scroll->frames[next++], false);
        if (result != ScrollAppendResult::appended(step))
            state.SkipWithError("frame not appended");
    }
}

void BM_Append1080p(benchmark::State& state) {
    appendFrames(state, 1920, 1080);
}
void BM_Append4K(benchmark::State& state) {
    appendFrames(state, 3840, 2160);
}

// Matching alone: a frame from far away is scored against every shift and
// rejected, so no slice is copied and no memory is touched afresh.
void matchOnly(benchmark::State& state, int width, int height) {
    const QImage page = scenes::longDocument(width, height * 3, 21);
    ScrollStitcher stitcher(page.copy(0, 0, width, height), qint64(1) << 40);
    const QImage far = page.copy(0, height * 2, width, height);
    for (auto _ : state) {
        if (stitcher.append(far, true) != ScrollAppendResult::unmatched())
            state.SkipWithError("far frame matched");
    }
}
void BM_Match1080p(benchmark::State& state) {
    matchOnly(state, 1920, 1080);
}
void BM_Match4K(benchmark::State& state) {
    matchOnly(state, 3840, 2160);
}

void BM_Signature1080p(benchmark::State& state) {
    const QImage frame = scenes::longDocument(1920, 1080, 21);
    for (auto _ : state)
        benchmark::DoNotOptimize(ScrollSignature::of(frame));
}

void BM_Image20000Rows(benchmark::State& state) {
    // 1200 × 20,000 is the controller's whole pixel budget of 24 million.
    const int width = 1200;
    const int viewport = 1000;
    const int shift = 400;
    const QImage page = scenes::longDocument(width, 20000, 5);
    ScrollStitcher stitcher(page.copy(0, 0, width, viewport), 24'000'000);
    for (int offset = shift; stitcher.height() < 20000; offset += shift) {
        const int rows = std::min(shift, 20000 - stitcher.height());
        const int at = stitcher.height() - viewport + rows;
        if (stitcher.append(page.copy(0, at, width, viewport), false) !=
            ScrollAppendResult::appended(rows)) {
            state.SkipWithError("could not build the long image");
            return;
        }
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(stitcher.image());
}

} // namespace

BENCHMARK(BM_Append1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Append4K)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Match1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Match4K)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Signature1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Image20000Rows)->Unit(benchmark::kMillisecond);
