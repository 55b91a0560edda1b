// The history store: recording a 4K screenshot's PNG, and listing a full
// folder of 100 entries.
#include "history/screenshothistory.h"

#include <benchmark/benchmark.h>
#include <QBuffer>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>

using namespace korvel;

namespace {

QByteArray screenshotPng(int seed) {
    QImage image(3840, 2160, QImage::Format_RGB32);
    image.fill(QColor(236, 239, 244));
    QPainter p(&image);
    for (int i = 0; i < 12; ++i) {
        const QRect panel(40 + (i % 4) * 950, 60 + (i / 4) * 700, 900, 640);
        p.fillRect(panel, QColor::fromHsv((seed * 40 + i * 25) % 360, 30, 250));
        for (int line = 0; line < 28; ++line)
            p.drawText(panel.adjusted(20, 20 + line * 22, -20, 0), Qt::AlignLeft | Qt::AlignTop,
                       QStringLiteral("history %1 line %2").arg(seed).arg(line));
    }
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

struct Store {
    QTemporaryDir dir;
    std::unique_ptr<ScreenshotHistory> history;
    Store() {
        const QString conf = dir.filePath(QStringLiteral("k.conf"));
        QSettings(conf, QSettings::IniFormat).setValue(QStringLiteral("historyEnabled"), true);
        QSettings(conf, QSettings::IniFormat).setValue(QStringLiteral("historyLimit"), 100);
        history =
            std::make_unique<ScreenshotHistory>(dir.filePath(QStringLiteral("History")), [conf] {
                return std::make_unique<QSettings>(conf, QSettings::IniFormat);
            });
    }
};

void BM_Record4K(benchmark::State& state) {
    Store store;
    const QByteArray a = screenshotPng(1), b = screenshotPng(2);
    qint64 t = 1'700'000'000'000'000;
    bool flip = false;
    for (auto _ : state) {
        // Alternating images, so that none is skipped as a repeat.
        store.history->recordNow((flip = !flip) ? a : b, t += 1000);
    }
    state.counters["pngBytes"] = double(a.size());
}

void BM_List100(benchmark::State& state) {
    Store store;
    const QByteArray small = screenshotPng(3);
    qint64 t = 1'700'000'000'000'000;
    for (int i = 0; i < 100; ++i) {
        QByteArray variant = small;
        variant.append(char(i)); // trailing bytes keep it a PNG with a new digest
        store.history->recordNow(variant, t += 1000);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(store.history->entries());
    state.counters["entries"] = double(store.history->entries().size());
}

BENCHMARK(BM_Record4K)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_List100)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
