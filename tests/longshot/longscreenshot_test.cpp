#include "../testwait.h"
#include "longshot/longcapturecrop.h"
#include "longshot/longcapturepanels.h"
#include "longshot/longdocument.h"
#include "longshot/longscreenshot.h"
#include "longshotfixture.h"
#include "platform/fake/fakeplatform.h"
#include "platform/fake/fakewindowstream.h"

#include <QLineEdit>

using namespace korvel;

namespace {

// One 800 × 600 display; the source window (100, 50, 400 × 500) shows a document scrolled
// by `offset`, the region its rows 50–249 and columns 50–349.
struct LongCapture : HistoryTest {
    const QImage document = scenes::longDocument(400, 3000);
    fake::WindowList windows;
    fake::WindowStream* stream = nullptr;
    std::unique_ptr<LongScreenshot> capture;
    int closes = 0;
    std::function<int(LongCaptureCropSheet&)> onSheet;

    void SetUp() override {
        windows.list = {WindowInfo{7, 4242, {}, {}, QRectF(100, 50, 400, 500), {}, {}}};
    }
    void open() {
        LongCaptureServices services;
        services.windows = &windows;
        services.openStream = [this] {
            auto s = std::make_unique<fake::WindowStream>();
            stream = s.get();
            return std::unique_ptr<WindowStream>(std::move(s));
        };
        services.history = history.get();
        services.ownPid = 1;
        services.primaryTop = 600;
        services.runModal = [this](QDialog& dialog) {
            return onSheet(dynamic_cast<LongCaptureCropSheet&>(dialog));
        };
        // Global top-left (150, 100, 300 × 200) in bottom-left display points.
        capture = std::make_unique<LongScreenshot>(QRectF(0, 0, 800, 600),
                                                   QRectF(150, 300, 300, 200), services);
        capture->onClose = [this] { ++closes; };
        capture->start();
    }
    QImage window(int offset) const { return document.copy(0, offset, 400, 500); }
    bool sizeBecomes(const char* text) const {
        return waitFor([&] { return capture->dimensions() == QString::fromUtf8(text); });
    }
    // Opens the capture and stitches its first frame.
    void begin() {
        open();
        ASSERT_TRUE(waitFor([&] { return stream && stream->starts == 1; }));
        stream->deliver(window(0));
        ASSERT_TRUE(sizeBecomes("300 × 200 px"));
    }
};

TEST_F(LongCapture, ARegionOutsideEveryWindowFailsWithItsMessage) {
    windows.list.front().bounds = QRectF(500, 50, 200, 200);
    open();
    ASSERT_TRUE(waitFor([&] { return capture->failed(); }));
    EXPECT_EQ(capture->status(), QStringLiteral("请在一个窗口内部框选可滚动内容。 "));
    EXPECT_EQ(stream, nullptr);
    // Nothing was stitched: the actions only ask for patience.
    capture->copyCurrent();
    EXPECT_EQ(capture->status(), QStringLiteral("正在准备画面，请稍候。"));
}

// Stitching, pausing and Enter are e2e.Long's. A source moved or ended with its stream is gone
// (the stream noticed first); with the window still there the stream's own words stand.
TEST_F(LongCapture, ALostSourceEndsTheCaptureButKeepsTheImage) {
    const Error ended(QStringLiteral("Korvel"), 2, QStringLiteral("与显示服务器的连接已断开"));
    const QString gone = QStringLiteral("目标窗口已移动、缩放或关闭。");
    // Moved; its stream ending with it; its stream ending alone.
    for (const int how : {0, 1, 2}) {
        stream = nullptr;
        SetUp();
        begin();
        if (how == 1)
            windows.list.clear();
        if (how == 0)
            windows.list.front().bounds = QRectF(101, 50, 400, 500);
        else
            stream->fail(ended);
        ASSERT_TRUE(waitFor([&] { return capture->failed(); })) << how;
        EXPECT_EQ(capture->status(), (how == 2 ? ended.description() : gone) +
                                         QStringLiteral(" 已有内容保留，可复制、保存或编辑。"))
            << how;
    }
    // The direction cannot change any more, but what was stitched can go.
    capture->setDirection(LongCaptureAxis::horizontal);
    EXPECT_EQ(capture->axis(), LongCaptureAxis::vertical);
    QImage finished;
    capture->onFinish = [&](const QImage& image) { finished = image; };
    capture->finishCapture();
    ASSERT_TRUE(waitFor([&] { return closes == 3; }));
    EXPECT_EQ(finished.size(), QSize(300, 200));
}

// Changing the direction is e2e.Long's; here, a platform without synthetic scrolling.
TEST_F(LongCapture, WithoutAutomaticScrollingTheButtonExplains) {
    begin();
    capture->toggleAutoScroll();
    EXPECT_EQ(capture->status(),
              QStringLiteral("自动滚动需要辅助功能授权；仍可在原窗口手动滚动。"));
    EXPECT_FALSE(capture->autoScrolling());
}

// The control bar keeps its light look (dark on light) on a dark desktop.
TEST_F(LongCapture, TheControlBarStaysReadableOnADarkDesktop) {
    const QPalette saved = QApplication::palette();
    QPalette dark(QColor(53, 53, 53), QColor(40, 40, 40));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::ButtonText, Qt::white);
    QApplication::setPalette(dark);
    open();
    QWidget* bar = capture->controlPanel();
    bar->adjustSize();
    const QImage shown = bar->grab().toImage();
    QApplication::setPalette(saved);
    // The status line's ground and its darkest ink.
    int darkest = 255;
    for (int x = 12; x < 200; ++x)
        darkest = std::min(darkest, qGray(shown.pixel(x, shown.height() - 24)));
    EXPECT_GT(qGray(shown.pixel(shown.width() - 12, shown.height() - 8)), 230);
    EXPECT_LT(darkest, 100);
}

// The first frame waits for the window to settle; one nothing joins is replaced, not kept.
TEST_F(LongCapture, AStaleFirstFrameNeverBlocksTheCapture) {
    open();
    ASSERT_TRUE(waitFor([&] { return stream && stream->starts == 1; }));
    QImage inactive = window(0);
    inactive.fill(qRgb(128, 128, 128));
    stream->deliver(inactive);
    stream->deliver(window(0)); // painted a moment later
    ASSERT_TRUE(sizeBecomes("300 × 200 px"));
    stream->deliver(window(60));
    ASSERT_TRUE(sizeBecomes("300 × 260 px"));

    capture->setDirection(LongCaptureAxis::vertical);
    capture->togglePause();
    stream->deliver(inactive); // stuck this way long enough to be taken
    ASSERT_TRUE(sizeBecomes("300 × 200 px"));
    for (int offset : {100, 160, 220, 280})
        stream->deliver(window(offset));
    ASSERT_TRUE(sizeBecomes("300 × 260 px"));
}

// Dragging writes the sheet's fields; only values that leave a row apply.
TEST_F(LongCapture, TheCropSheetCutsTheEndsOfTheExportAndRejectsWhatLeavesNothing) {
    begin();
    for (int offset : {60, 130})
        stream->deliver(window(offset));
    ASSERT_TRUE(sizeBecomes("300 × 330 px"));

    onSheet = [&](LongCaptureCropSheet& sheet) {
        LongCaptureCropView& view = *sheet.view();
        const QRectF image = view.imageRect();
        // The leading line dragged past the bottom stops a row short.
        test::drag(&view, QPointF(image.center().x(), image.top() + 1),
                   QPointF(image.center().x(), image.bottom() + 20));
        EXPECT_EQ(sheet.leadingField()->text(), QStringLiteral("329"));
        sheet.trailingField()->setText(QStringLiteral("1"));
        return int(LongCaptureCropSheet::apply);
    };
    capture->cropCurrent();
    ASSERT_TRUE(
        waitFor([&] { return capture->status() == QStringLiteral("裁剪值无效，已保留原图。"); }));
    EXPECT_EQ(capture->dimensions(), QStringLiteral("300 × 330 px"));
    EXPECT_TRUE(capture->paused());

    // The sheet shows the current edges; cancel keeps them; the full image comes when asked.
    const std::tuple<const char*, const char*, int, const char*, const char*> steps[] = {
        // leading, trailing typed, choice, trailing shown, size after
        {"30", "100", LongCaptureCropSheet::apply, "0", "300 × 200 px"},
        {"0", nullptr, LongCaptureCropSheet::cancel, "100", "300 × 200 px"},
        {nullptr, nullptr, LongCaptureCropSheet::restoreFull, "100", "300 × 330 px"},
        {"30", "100", LongCaptureCropSheet::apply, "0", "300 × 200 px"}};
    for (const auto& [leading, trailing, choice, shown, size] : steps) {
        int sheets = 0;
        onSheet = [&](LongCaptureCropSheet& sheet) {
            EXPECT_EQ(sheet.trailingField()->text(), QString::fromUtf8(shown));
            if (leading)
                sheet.leadingField()->setText(QString::fromUtf8(leading));
            if (trailing)
                sheet.trailingField()->setText(QString::fromUtf8(trailing));
            ++sheets;
            return choice;
        };
        capture->cropCurrent();
        ASSERT_TRUE(waitFor([&] { return sheets == 1; }));
        EXPECT_EQ(capture->dimensions(), QString::fromUtf8(size));
    }
    EXPECT_DOUBLE_EQ(capture->preview()->leadingCrop, 30.0 / 330);

    capture->copyCurrent();
    ASSERT_TRUE(waitFor([&] { return closes == 1; }));
    EXPECT_EQ(clipboardImage().convertToFormat(QImage::Format_RGB32),
              document.copy(50, 80, 300, 200).convertToFormat(QImage::Format_RGB32));
}

} // namespace
