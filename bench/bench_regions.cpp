// Panels from the pixels of a 1536 × 960-point window holding 40 cards, on a
// display at scale 1 and at scale 2 (where the window is first reduced to
// one sample per point).
#include "capture/visualchildregions.h"

#include "capture/regionscenes.h"

#include <benchmark/benchmark.h>

using namespace korvel;

namespace {

void BM_VisualChildRegions(benchmark::State& state) {
    const double scale = double(state.range(0));
    const QSizeF screen(1728, 1117);
    const QRectF window(96, 60, 1536, 960);
    const QImage image = scenes::display(screen, scale, window, scenes::fortyPanels);
    size_t found = 0;
    for (auto _ : state) {
        found = visualChildRegions(image, screen, window).size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["regions"] = double(found);
}
BENCHMARK(BM_VisualChildRegions)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace
