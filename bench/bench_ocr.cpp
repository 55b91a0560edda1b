// Text recognition of a 1920 × 1080 screenshot full of text, at scale 1
// (13-16 pixel text, which is enlarged twice before reading) and of the
// same screen at scale 2 sizes (no enlargement). Reports seconds per
// megapixel of the input; recognition runs on one thread.
//
// On a shared two-core 2.1 GHz machine under load (CPU time in brackets):
// scale 1 4.8 s/MP (3.2), scale 2 1.0 s/MP (0.7), a one-line crop 0.36 s.
#include "ocr/textrecognition.h"

#include "../tests/ocr/textscenes.h"

#include <benchmark/benchmark.h>

namespace {

using namespace korvel;

// The UI-like window tiled over a full-HD screen.
QImage fullScreen(int textScale) {
    const QImage window = scenes::uiScreenshot(textScale);
    QImage screen(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    screen.fill(Qt::white);
    QPainter p(&screen);
    for (int y = 0; y < 1080; y += window.height())
        for (int x = 0; x < 1920; x += window.width())
            p.drawImage(QRect(x, y, window.width(), window.height()), window);
    return screen;
}

void BM_RecognizeScreen(benchmark::State& state) {
    const QImage screen = fullScreen(int(state.range(0)));
    TextRecognition recognition(createTextRecognizer());
    recognition.recognize(QImage(8, 8, QImage::Format_RGB32)); // loads the models
    qsizetype characters = 0;
    for (auto _ : state)
        characters = recognition.recognize(screen).size();
    const double megapixels = screen.width() * screen.height() / 1e6;
    state.counters["s/MP"] =
        benchmark::Counter(double(state.iterations()) * megapixels,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["chars"] = double(characters);
    state.counters["threads"] = 1;
}
BENCHMARK(BM_RecognizeScreen)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// A 100 × 400 crop with one line: what a small selection costs.
void BM_RecognizeSmall(benchmark::State& state) {
    const QImage crop = fullScreen(1).copy(190, 40, 400, 100);
    TextRecognition recognition(createTextRecognizer());
    recognition.recognize(crop);
    for (auto _ : state)
        benchmark::DoNotOptimize(recognition.recognize(crop));
}
BENCHMARK(BM_RecognizeSmall)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
