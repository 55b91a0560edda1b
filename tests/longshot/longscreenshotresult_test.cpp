#include "longshot/longscreenshotresult.h"
#include "longshotfixture.h"

#include "annotate/annotationtoolbar.h"
#include "annotate/canvas.h"

#include <QFileDialog>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QUndoStack>

using namespace korvel;

namespace {

// Rows shade every 256 rows: a mark in the wrong place shows the wrong background.
QRgb shade(int y) {
    const int v = 40 + (y % 256) / 2;
    return qRgb(v, v, v + 40);
}

QImage longImage(int width, int height, QRgb (*colour)(int) = shade) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        std::fill_n(reinterpret_cast<QRgb*>(image.scanLine(y)), width, colour(y));
    return image;
}

bool reddish(QRgb c) {
    return qRed(c) > 200 && qGreen(c) < 120 && qBlue(c) < 120;
}

struct ResultTest : HistoryTest {
    bool copyCloses = false;
    int closes = 0;
    int pins = 0;
    bool pinAccepted = true;
    std::function<int(QDialog&)> modal = [](QDialog&) { return int(QDialog::Rejected); };
    std::unique_ptr<LongScreenshotResult> result;

    void SetUp() override { QSettings().setValue(QStringLiteral("historyEnabled"), true); }
    void open(const QImage& image, bool withPin = true) {
        LongScreenshotServices services;
        services.history = history.get();
        services.copyCloses = [this] { return copyCloses; };
        services.runModal = [this](QDialog& d) { return modal(d); };
        std::function<bool(const QByteArray&)> onPin;
        if (withPin)
            onPin = [this](const QByteArray&) {
                ++pins;
                return pinAccepted;
            };
        result = std::make_unique<LongScreenshotResult>(image, QStringLiteral("长截图"), onPin,
                                                        std::move(services));
        result->onClose = [this] { ++closes; };
        result->showWindow();
    }
    void chooseTool(int index) {
        result->toolbar()->selectTool(index);
        result->toolbar()->onTool(index);
    }
};

TEST_F(ResultTest, OpensFittedToTheWidthScrolledToTheTopInMarkSelection) {
    open(longImage(2000, 3000), false);
    EXPECT_DOUBLE_EQ(result->scale(), 0.44);
    EXPECT_EQ(result->canvas()->size(), QSize(880, 1320));
    EXPECT_EQ(result->scrollArea()->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(result->canvas()->selectionOnly);
    EXPECT_EQ(result->toolbar()->activeTool(), 1);
    EXPECT_EQ(result->size(), QSize(920, 720));
    EXPECT_GE(result->minimumWidth(), std::max(500, result->toolbar()->width()));
    // Long capture, moving the selection, pinning without a host and recognition are off.
    for (const char* name : {"长截图", "移动选区", "贴图", "识别文字"})
        EXPECT_FALSE(result->toolbar()->button(QString::fromUtf8(name))->isEnabled()) << name;
    // Choosing the first tool shows the style row; the image stays put.
    const QPoint image = result->canvas()->mapTo(result.get(), QPoint(0, 0));
    result->toolbar()->button(QStringLiteral("tool.rectangle"))->click();
    EXPECT_TRUE(result->toolbar()->styleRow()->isVisible());
    EXPECT_EQ(result->canvas()->mapTo(result.get(), QPoint(0, 0)), image);
    // The scroll area keeps 10 points from the window's edges.
    result->resize(1200, 900);
    EXPECT_EQ(result->scrollArea()->width(), 1180);
    EXPECT_EQ(result->scrollArea()->geometry().bottom() + 1, 890);

    open(longImage(600, 200));
    EXPECT_DOUBLE_EQ(result->scale(), 1.0);
    EXPECT_TRUE(result->toolbar()->button(QStringLiteral("贴图"))->isEnabled());

    // Shrunk, one-pixel black and white lines are averaged to grey, not dropped.
    open(longImage(2000, 600, [](int y) { return y % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0); }));
    const QImage shown = result->canvas()->grab().toImage();
    for (const QPoint p : {QPoint(100, 40), QPoint(440, 101), QPoint(700, 200)})
        EXPECT_NEAR(qGray(shown.pixel(p)), 128, 40) << p.x() << "," << p.y();
}

// A mark at the bottom of 30,000 rows lands on its pixels, exported and shown.
TEST_F(ResultTest, AMarkNearTheBottomOfAVeryLongImageExportsAtItsPixels) {
    open(longImage(1000, 30000));
    Canvas* canvas = result->canvas();
    ASSERT_EQ(canvas->size(), QSize(880, 26400));
    QScrollBar* bar = result->scrollArea()->verticalScrollBar();
    bar->setValue(bar->maximum());
    QApplication::processEvents();

    chooseTool(2);
    // Widget points: 0.88 points per pixel.
    test::drag(canvas, QPointF(88, 26004), QPointF(264, 26180));
    ASSERT_EQ(canvas->marks().size(), 1);

    const QImage out = QImage::fromData(canvas->png().value_or(QByteArray()), "PNG");
    ASSERT_EQ(out.size(), QSize(1000, 30000));
    // Edges at columns 100 and 300, rows 29550 and 29750; elsewhere the image's own pixels.
    for (const QPoint p :
         {QPoint(100, 29650), QPoint(300, 29600), QPoint(200, 29550), QPoint(150, 29750)})
        EXPECT_TRUE(reddish(out.pixel(p))) << p.x() << "," << p.y();
    for (const QPoint p : {QPoint(200, 29650), QPoint(100, 29500), QPoint(100, 100)})
        EXPECT_EQ(out.pixel(p), shade(p.y())) << p.x() << "," << p.y();

    // The screen shows the same, on the left edge away from the selection handles.
    const QImage shown = result->scrollArea()->viewport()->grab().toImage();
    const QPoint onScreen = canvas->mapTo(result->scrollArea()->viewport(), QPoint(88, 26040));
    ASSERT_TRUE(shown.rect().contains(onScreen * shown.devicePixelRatio()));
    EXPECT_TRUE(reddish(shown.pixel(onScreen * shown.devicePixelRatio())));

    // Undo stays in this window.
    result->edits()->undo();
    EXPECT_TRUE(canvas->marks().isEmpty());
}

TEST_F(ResultTest, TheWheelScrollsAndControlWheelStepsTheWidth) {
    open(longImage(1000, 5000));
    chooseTool(2);
    Canvas* canvas = result->canvas();
    const double width = canvas->strokeWidth;
    QScrollBar* bar = result->scrollArea()->verticalScrollBar();
    test::wheel(canvas, QPointF(100, 100), QPoint(0, -120));
    EXPECT_GT(bar->value(), 0);
    EXPECT_EQ(canvas->strokeWidth, width);
    const int scrolled = bar->value();
    test::wheel(canvas, QPointF(100, 100), QPoint(0, -120), Qt::ControlModifier);
    EXPECT_EQ(bar->value(), scrolled);
    EXPECT_LT(canvas->strokeWidth, width);
}

// What copying, saving and pinning write is e2e.Capture's; here, the window's keys.
TEST_F(ResultTest, ReturnCopiesShiftDigitsPickToolsEscCloses_ButNotInAnOpenText) {
    open(longImage(400, 800));
    Canvas* canvas = result->canvas();
    test::key(canvas, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(clipboardImage().size(), QSize(400, 800));
    EXPECT_FALSE(result->isClosed());
    test::key(canvas, Qt::Key_Dollar, Qt::ShiftModifier);
    EXPECT_EQ(result->toolbar()->activeTool(), 9);
    EXPECT_EQ(canvas->tool, Tool::number);
    EXPECT_FALSE(canvas->selectionOnly);

    chooseTool(5);
    canvas->beginText(QPointF(20, 700), std::nullopt);
    ASSERT_TRUE(canvas->textField());
    test::key(canvas->textField(), Qt::Key_Escape);
    EXPECT_EQ(closes, 0);
    test::key(canvas, Qt::Key_Escape, Qt::ShiftModifier);
    EXPECT_EQ(closes, 1);
    result->closeResult();
    EXPECT_EQ(closes, 1);
}

// A missing folder takes no file: an alert over the window, which stays, as for a pin not made.
TEST_F(ResultTest, CopySavePinAndTheCloseButtonCloseTheWindowOnce) {
    QString target;
    int alerts = 0;
    modal = [&](QDialog& d) {
        if (auto* panel = qobject_cast<QFileDialog*>(&d)) {
            panel->selectFile(target);
        } else {
            ++alerts;
            EXPECT_EQ(d.parentWidget(), result.get());
        }
        return int(QDialog::Accepted);
    };
    copyCloses = true;
    const std::function<void()> save = [&] { result->save(); }, pin = [&] { result->pin(); };
    const std::tuple<std::function<void()>, const char*, bool> cases[] = {
        {save, "missing/out.png", false},
        {[&] { result->toolbar()->onCopy(); }, "", true},
        {save, "out.png", true},
        {pin, "", true},
        {[&] { result->close(); }, "", true},
        {pin, "", false}};
    for (int i = 0; i < 6; ++i) {
        const auto& [action, file, closing] = cases[i];
        closes = 0;
        target = dir.filePath(QString::fromUtf8(file));
        pinAccepted = closing;
        open(longImage(300, 500 + i));
        action();
        EXPECT_EQ(closes, int(closing)) << i;
        EXPECT_EQ(result->isClosed(), closing) << i;
        EXPECT_NE(result->isVisible(), closing) << i;
    }
    EXPECT_EQ(alerts, 1);
    EXPECT_EQ(QImage(dir.filePath(QStringLiteral("out.png"))).size(), QSize(300, 502));
    EXPECT_EQ(pins, 2);
    EXPECT_EQ(entries(), 3);
}

} // namespace
