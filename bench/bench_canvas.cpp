// The canvas at 4K: a repaint with 200 marks, and the PNG export.
#include "annotate/canvas.h"
#include "export/pngencoder.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

#include <cmath>

using namespace korvel;

namespace {

// Looks like a desktop: flat panels, lines of text, a photo-like gradient.
QImage screenshotLike(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(236, 239, 244));
    QPainter p(&image);
    for (int i = 0; i < 12; ++i) {
        const QRect panel(40 + (i % 4) * 950, 60 + (i / 4) * 700, 900, 640);
        p.fillRect(panel, i % 3 ? Qt::white : QColor(30, 34, 42));
        p.setPen(i % 3 ? QColor(40, 40, 40) : QColor(220, 220, 220));
        for (int line = 0; line < 28; ++line)
            p.drawText(
                panel.adjusted(20, 20 + line * 22, -20, 0), Qt::AlignLeft | Qt::AlignTop,
                QStringLiteral("Korvel 截图 line %1: the quick brown fox 0123456789").arg(line));
    }
    QLinearGradient g(0, 0, 800, 600);
    g.setColorAt(0, QColor(255, 120, 40));
    g.setColorAt(1, QColor(40, 90, 220));
    p.fillRect(QRect(2900, 1450, 800, 600), g);
    return image;
}

std::unique_ptr<Canvas> canvasWithMarks(QUndoStack& stack, int count) {
    const QImage image = screenshotLike(QSize(3840, 2160));
    auto canvas = std::make_unique<Canvas>(image, image.size(), &stack);
    canvas->resize(3840, 2160);
    // Every tenth mark is a privacy area, alternately mosaic and blur: 20 of
    // 200, within the 32 tiles the cache keeps.
    const Tool tools[] = {Tool::rectangle, Tool::ellipse, Tool::arrow, Tool::pen,
                          Tool::highlight, Tool::number,  Tool::text};
    for (int i = 0; i < count; ++i) {
        Mark m;
        m.tool = i % 10 == 9 ? (i % 20 == 9 ? Tool::mosaic : Tool::blur) : tools[i % 7];
        const QPointF a(100 + (i * 173) % 3500, 100 + (i * 97) % 1900);
        m.points = {a, a + QPointF(120, 80)};
        if (m.tool == Tool::pen || m.tool == Tool::highlight)
            for (int k = 0; k < 30; ++k)
                m.points.append(a + QPointF(k * 4, 20 * std::sin(k / 3.0)));
        m.number = i;
        m.text = QStringLiteral("标注 %1").arg(i);
        m.color = QColor::fromHsv((i * 37) % 360, 220, 230);
        canvas->restore(m);
    }
    canvas->selectMark(std::nullopt);
    return canvas;
}

void BM_Repaint4KWith200Marks(benchmark::State& state) {
    QUndoStack stack;
    auto canvas = canvasWithMarks(stack, int(state.range(0)));
    QImage target(canvas->size(), QImage::Format_ARGB32_Premultiplied);
    canvas->render(&target); // fills the privacy tile cache, as the first frame does
    for (auto _ : state)
        canvas->render(&target, QPoint(), QRegion(), QWidget::DrawChildren);
}

// The first paint after the marks appear: every sprite and tile is built.
void BM_FirstPaint4KWith200Marks(benchmark::State& state) {
    QUndoStack stack;
    QImage target(3840, 2160, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        state.PauseTiming();
        auto canvas = canvasWithMarks(stack, 200);
        state.ResumeTiming();
        canvas->render(&target, QPoint(), QRegion(), QWidget::DrawChildren);
        state.PauseTiming();
        canvas.reset();
        state.ResumeTiming();
    }
}

void BM_Png4K(benchmark::State& state) {
    QUndoStack stack;
    auto canvas = canvasWithMarks(stack, 20);
    qint64 bytes = 0;
    for (auto _ : state)
        bytes = canvas->png().value_or(QByteArray()).size();
    state.counters["bytes"] = double(bytes);
}

// The two halves of the export: rendering, and encoding.
void BM_Render4K(benchmark::State& state) {
    QUndoStack stack;
    auto canvas = canvasWithMarks(stack, 20);
    for (auto _ : state)
        benchmark::DoNotOptimize(canvas->renderImage().constBits());
}

void BM_Encode4K(benchmark::State& state) {
    QUndoStack stack;
    auto canvas = canvasWithMarks(stack, 20);
    const QImage image = canvas->renderImage();
    for (auto _ : state)
        benchmark::DoNotOptimize(encodePng(image));
}

void BM_RenderThenEncode4K(benchmark::State& state) {
    QUndoStack stack;
    auto canvas = canvasWithMarks(stack, 20);
    for (auto _ : state)
        benchmark::DoNotOptimize(encodePng(canvas->renderImage()));
}

// Qt's encoder at other compression levels, for comparison.
void BM_QtPngLevel(benchmark::State& state) {
    const QImage image = screenshotLike(QSize(3840, 2160)).convertToFormat(QImage::Format_RGB32);
    qint64 size = 0;
    for (auto _ : state) {
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        writer.setCompression(int(state.range(0)));
        writer.write(image);
        size = out.size();
    }
    state.counters["bytes"] = double(size);
}

BENCHMARK(BM_Repaint4KWith200Marks)->Arg(200)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FirstPaint4KWith200Marks)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Png4K)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Render4K)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Encode4K)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderThenEncode4K)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QtPngLevel)->Arg(1)->Arg(3)->Arg(6)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
