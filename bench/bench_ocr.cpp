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

// The texts of the window-like screenshot.
const QStringList menuItems = QStringLiteral("文件 编辑 视图 插入 格式 工具 窗口 帮助").split(u' ');
const QStringList sidebarItems =
    QStringLiteral("收藏夹 最近使用 下载 我的文档 图片和视频 回收站").split(u' ');
const QStringList contentItems = {
    QStringLiteral("The quick brown fox jumps over the lazy dog."),
    QStringLiteral("正在下载更新，请稍候。"),
    QStringLiteral("Version 2.4.1 (build 3057), released 12:45 PM"),
    QStringLiteral("保存成功，已复制到剪贴板！"),
    QStringLiteral("Total: $1,234.56 - 98% complete; 7 files left"),
    QStringLiteral("网络连接失败，请检查设置后重试"),
    QStringLiteral("Email support@example.com or call 555-0199"),
    QStringLiteral("共有十二个项目等待处理"),
    QStringLiteral("Search results: 42 matches in 8 folders"),
    QStringLiteral("点击这里打开偏好设置"),
};

// A window-like screenshot of 760 × 420 points, text of 13 to 16 points.
QImage uiScreenshot(int scale) {
    QImage image(760 * scale, 420 * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(QColor(255, 255, 255));
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(QRect(0, 0, 760, 28), QColor(236, 236, 236));
    p.setPen(QColor(30, 30, 30));
    p.setFont(scenes::screenFont(14));
    for (int i = 0; i < menuItems.size(); ++i)
        p.drawText(QPoint(12 + 56 * i, 19), menuItems[i]);
    p.fillRect(QRect(0, 28, 170, 392), QColor(243, 244, 246));
    p.setPen(QColor(210, 210, 210));
    p.drawLine(170, 28, 170, 420);
    p.drawLine(0, 28, 760, 28);
    p.setFont(scenes::screenFont(13));
    p.setPen(QColor(50, 50, 60));
    for (int i = 0; i < sidebarItems.size(); ++i)
        p.drawText(QPoint(20, 60 + 30 * i), sidebarItems[i]);
    const int sizes[] = {16, 15, 14, 13};
    for (int i = 0; i < contentItems.size(); ++i) {
        p.setFont(scenes::screenFont(sizes[i % 4]));
        p.setPen((i + 1) % 3 ? QColor(20, 20, 20) : QColor(70, 80, 100));
        p.drawText(QPoint(190, 64 + 34 * i), contentItems[i]);
    }
    return image;
}

// The UI-like window tiled over a full-HD screen.
QImage fullScreen(int textScale) {
    const QImage window = uiScreenshot(textScale);
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
