// The result window on a 1000 × 30,000 image: one frame of scrolling, a full
// repaint of the visible part, and the same with marks spread over the image;
// and the history window opening on 100 entries of 4K screenshots.
//
// Frames are timed on the offscreen platform by painting the scroll area's
// viewport with the canvas in it into an image: a real frame minus the flush.
#include "annotate/canvas.h"
#include "history/historylistmodel.h"
#include "history/screenshothistory.h"
#include "history/screenshothistorywindow.h"
#include "longshot/longscreenshotresult.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

using namespace korvel;

namespace {

QImage longPage() {
    QImage image(1000, 30000, QImage::Format_RGB32);
    image.fill(QColor(246, 247, 249));
    QPainter p(&image);
    p.setPen(QColor(40, 40, 40));
    for (int line = 0; line < 30000 / 24; ++line)
        p.drawText(
            QRect(30, line * 24, 940, 24), Qt::AlignLeft | Qt::AlignVCenter,
            QStringLiteral("Korvel 长截图 line %1: the quick brown fox 0123456789").arg(line));
    return image;
}

const QImage& page() {
    static const QImage image = longPage();
    return image;
}

std::unique_ptr<LongScreenshotResult> openResult(int marks) {
    auto result = std::make_unique<LongScreenshotResult>(page(), QStringLiteral("长截图"), nullptr,
                                                         LongScreenshotServices{});
    result->showWindow();
    Canvas* canvas = result->canvas();
    // Every fifth mark hides something, alternately mosaic and blur.
    const Tool tools[] = {Tool::rectangle, Tool::arrow, Tool::pen, Tool::ellipse};
    for (int i = 0; i < marks; ++i) {
        Mark m;
        m.tool = i % 5 == 4 ? (i % 10 == 4 ? Tool::mosaic : Tool::blur) : tools[i % 4];
        const QPointF a(40 + (i * 137) % 700, 26400 - 200 - (i * 26000.0 / std::max(1, marks)));
        m.points = {a, a + QPointF(140, 90)};
        if (m.tool == Tool::pen)
            for (int k = 0; k < 30; ++k)
                m.points.append(a + QPointF(k * 4, 20 * std::sin(k / 3.0)));
        canvas->restore(m);
    }
    canvas->selectMark(std::nullopt);
    QApplication::processEvents();
    return result;
}

// One frame of scrolling by a wheel notch's worth: the whole viewport
// painted again, an upper bound of what a scroll repaints.
void BM_ResultScrollFrame(benchmark::State& state) {
    auto result = openResult(int(state.range(0)));
    QScrollBar* bar = result->scrollArea()->verticalScrollBar();
    QWidget* viewport = result->scrollArea()->viewport();
    QImage frame(viewport->size(), QImage::Format_RGB32);
    int step = 120;
    for (auto _ : state) {
        if (bar->value() + step > bar->maximum() || bar->value() + step < 0)
            step = -step;
        bar->setValue(bar->value() + step);
        viewport->render(&frame);
    }
    state.counters["rows"] = double(page().height());
}

// The visible part again without scrolling, as after an edit.
void BM_ResultFullRepaint(benchmark::State& state) {
    auto result = openResult(int(state.range(0)));
    QScrollBar* bar = result->scrollArea()->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    QWidget* viewport = result->scrollArea()->viewport();
    QImage frame(viewport->size(), QImage::Format_RGB32);
    viewport->render(&frame); // builds the sprites and tiles, as the first frame does
    for (auto _ : state)
        viewport->render(&frame);
}

// Opening the window: the image converted, the canvas and toolbar built.
void BM_ResultOpen(benchmark::State& state) {
    for (auto _ : state) {
        auto result = std::make_unique<LongScreenshotResult>(page(), QStringLiteral("长截图"),
                                                             nullptr, LongScreenshotServices{});
        result->showWindow();
        QApplication::processEvents();
    }
}

// History: 100 entries of a 4K screenshot's PNG.
struct HistoryFolder {
    QTemporaryDir dir;
    std::unique_ptr<ScreenshotHistory> store;
    HistoryFolder() {
        QImage image(3840, 2160, QImage::Format_RGB32);
        image.fill(QColor(236, 239, 244));
        QPainter p(&image);
        for (int i = 0; i < 12; ++i) {
            const QRect panel(40 + (i % 4) * 950, 60 + (i / 4) * 700, 900, 640);
            p.fillRect(panel, QColor::fromHsv(i * 25, 30, 250));
            for (int line = 0; line < 28; ++line)
                p.drawText(panel.adjusted(20, 20 + line * 22, -20, 0), Qt::AlignLeft | Qt::AlignTop,
                           QStringLiteral("history line %1 of panel %2").arg(line).arg(i));
        }
        p.end();
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        const QString folder = dir.filePath(QStringLiteral("History"));
        QDir().mkpath(folder);
        for (int i = 0; i < 100; ++i) {
            QByteArray variant = png;
            variant.append(char(i)); // trailing bytes: the same picture, a new digest
            QFile f(QDir(folder).filePath(
                ScreenshotHistory::fileName(1'700'000'000'000'000 + i * 1000, variant)));
            f.open(QIODevice::WriteOnly);
            f.write(variant);
        }
        store = std::make_unique<ScreenshotHistory>(folder,
                                                    [] { return std::make_unique<QSettings>(); });
    }
};

HistoryFolder& historyFolder() {
    static HistoryFolder folder;
    return folder;
}

// From opening the window to the first thumbnail shown, with the longest
// time the event loop was held up meanwhile. Argument 1: entries from before
// the small copies existed, so every thumbnail decodes its whole entry.
void BM_HistoryFirstThumbnail100x4K(benchmark::State& state) {
    HistoryFolder& folder = historyFolder();
    const bool cold = state.range(0) == 1;
    if (!cold) {
        // The small copies recording makes, here made by first sight.
        for (const QString& entry : folder.store->entries())
            ScreenshotHistory::thumbnail(entry, HistoryListModel::thumbnailPixels);
    }
    double longestStall = 0;
    double previewMs = 0;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            QDir(folder.store->directory() + QStringLiteral("/.thumbnails")).removeRecursively();
            state.ResumeTiming();
        }
        QElapsedTimer clock;
        clock.start();
        ScreenshotHistoryWindow window(*folder.store);
        int shown = 0;
        window.model()->onThumbnail = [&](int) { ++shown; };
        window.showWindow();
        while (shown == 0) {
            QElapsedTimer turn;
            turn.start();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            longestStall = std::max(longestStall, double(turn.nsecsElapsed()) / 1e6);
            if (shown == 0)
                QThread::usleep(200);
        }
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        state.PauseTiming();
        while (window.preview()->image().isNull())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        previewMs = double(clock.nsecsElapsed()) / 1e6;
        state.ResumeTiming();
    }
    state.counters["longestStallMs"] = longestStall;
    state.counters["previewMs"] = previewMs;
}

// One thumbnail of a 4K entry decoded on this thread: on an idle core this
// is how long the first row waits.
void BM_Thumbnail4K(benchmark::State& state) {
    HistoryFolder& folder = historyFolder();
    const QString newest = folder.store->entries().constFirst();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            ScreenshotHistory::thumbnail(newest, HistoryListModel::thumbnailPixels));
}

BENCHMARK(BM_ResultScrollFrame)->Arg(0)->Arg(40)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResultFullRepaint)->Arg(0)->Arg(40)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResultOpen)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Thumbnail4K)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryFirstThumbnail100x4K)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

} // namespace
