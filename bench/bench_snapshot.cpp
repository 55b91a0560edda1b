// Grab time of the whole root window, MIT-SHM against a plain GetImage.
// Run inside an X session with a 4K screen:
//   scripts/xsession --bare --screen 3840x2160 --monitors 3840x2160+0+0 --
//   build/bench/bench_snapshot
#include "platform/x11/x11connection.h"
#include "platform/x11/x11screensource.h"

#include <benchmark/benchmark.h>

using namespace korvel;

namespace {

void grab(benchmark::State& state, x11::ScreenSource::Transfer transfer) {
    auto connection = x11::Connection::open();
    if (!connection) {
        state.SkipWithError("no X display");
        return;
    }
    x11::ScreenSource screens(*connection, transfer);
    const Display root{
        0, QStringLiteral("root"),
        QRect(0, 0, connection->screen()->width_in_pixels, connection->screen()->height_in_pixels),
        true};
    for (auto _ : state) {
        QImage image = screens.grab(root);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["pixels"] = double(root.geometry.width()) * root.geometry.height();
    state.SetLabel(screens.usesSharedMemory() ? "shm" : "plain");
}

void BM_GrabSharedMemory(benchmark::State& state) {
    grab(state, x11::ScreenSource::Transfer::automatic);
}
void BM_GrabPlain(benchmark::State& state) {
    grab(state, x11::ScreenSource::Transfer::plain);
}

BENCHMARK(BM_GrabSharedMemory)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GrabPlain)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
