#include "../capture/testevents.h"
#include "annotate/canvas.h"
#include "testimages.h"

#include <gtest/gtest.h>
#include <QInputMethodEvent>
#include <QThread>

using namespace korvel;
using namespace korvel::test;

namespace {

// 200 × 150 points over 400 × 300 pixels; points are annotation space (y up).
struct CanvasTest : ::testing::Test {
    QUndoStack stack;
    QImage background = gradient(QSize(400, 300));
    Canvas canvas{background, background.size(), &stack};
    Canvas* c = &canvas;
    int styleChanges = 0;
    int copies = 0;

    void SetUp() override {
        canvas.resize(200, 150);
        canvas.onStyleChange = [this] { ++styleChanges; };
        canvas.onCopy = [this] { ++copies; };
    }
    void drag(QPointF from, QPointF to) { test::drag(c, c->toWidget(from), c->toWidget(to), 4); }
    void click(QPointF p) { test::click(c, c->toWidget(p)); }
    void doubleClick(QPointF p) {
        click(p);
        mouse(c, QEvent::MouseButtonDblClick, c->toWidget(p), Qt::LeftButton);
        mouse(c, QEvent::MouseButtonRelease, c->toWidget(p), Qt::NoButton);
    }
    void typeText(const QString& text, const QString& preedit = {}) {
        ASSERT_TRUE(canvas.textField());
        QInputMethodEvent event(preedit, {});
        event.setCommitString(text);
        QApplication::sendEvent(canvas.textField(), &event);
    }
};

} // namespace

TEST_F(CanvasTest, ExportIsFullPixelSizeWithoutSelectionHandles) {
    canvas.ink = QColor(255, 0, 0);
    canvas.strokeWidth = 4;
    drag(QPointF(50, 50), QPointF(100, 100)); // rectangle
    const QImage png = QImage::fromData(canvas.png().value_or(QByteArray()), "PNG");
    ASSERT_EQ(png.size(), QSize(400, 300));
    // The top edge at annotation y = 100 is pixel row (150 − 100) × 2 = 100.
    EXPECT_EQ(png.pixel(120, 100), qRgb(255, 0, 0));
    EXPECT_NE(png.pixel(120, 110), qRgb(255, 0, 0));
    ASSERT_TRUE(canvas.selectedMarkIndex());
    EXPECT_EQ(png.pixel(92, 212), background.pixel(92, 212)); // no handle at the bottom-left
}

// Undoing and redoing marks, and their pixels: e2e.Capture.
TEST_F(CanvasTest, ClicksCreateNothingButThreePointDragsDoClampedToTheView) {
    canvas.mosaicMode = MosaicMode::rectangle;
    const Tool tools[] = {Tool::rectangle, Tool::arrow, Tool::ellipse,  Tool::blur,
                          Tool::mosaic,    Tool::pen,   Tool::highlight};
    for (Tool tool : tools) {
        canvas.tool = tool;
        click(QPointF(100, 75));
        drag(QPointF(20, 20), QPointF(21, 21)); // 1.4 points: too small
    }
    EXPECT_TRUE(canvas.marks().isEmpty());
    EXPECT_EQ(stack.count(), 0);
    for (int i = 0; i < 7; ++i) {
        canvas.tool = tools[i];
        drag(QPointF(20, 10 + 20 * i), QPointF(23, 10 + 20 * i));
        EXPECT_EQ(canvas.marks().size(), i + 1) << int(tools[i]);
    }
    canvas.tool = Tool::rectangle;
    drag(QPointF(150, 100), QPointF(500, 500));
    ASSERT_EQ(canvas.marks().size(), 8);
    EXPECT_EQ(canvas.marks()[7].points[1], QPointF(200, 150));
    // With an annotation origin the marks live in the shifted space.
    canvas.annotationOrigin = QPointF(1000, 2000);
    drag(QPointF(1010, 2010), QPointF(1050, 2050));
    EXPECT_EQ(canvas.marks()[8].points[0], QPointF(1010, 2010));
}

TEST_F(CanvasTest, ClicksPlaceNumbersAfterTheHighestAndBrushDotsThatSelectNothing) {
    canvas.tool = Tool::number;
    for (double x : {20, 60, 100})
        click(QPointF(x, 20));
    ASSERT_EQ(canvas.marks().size(), 3);
    EXPECT_EQ(canvas.marks()[2].number, 3);
    canvas.selectMark(1);
    key(c, Qt::Key_Delete);
    ASSERT_EQ(canvas.marks().size(), 2);
    click(QPointF(140, 100));
    EXPECT_EQ(canvas.marks().back().number, 4);

    canvas.tool = Tool::mosaic;
    click(QPointF(50, 50));
    ASSERT_EQ(canvas.marks().size(), 4);
    EXPECT_TRUE(canvas.marks()[3].isMosaicBrush());
    EXPECT_FALSE(canvas.selectedMarkIndex());
    drag(QPointF(50, 50), QPointF(90, 50)); // a new stroke even over the dot
    EXPECT_EQ(canvas.marks().size(), 5);
}

TEST_F(CanvasTest, TextComesThroughTheInputMethodAndDoubleClicksEditItOrCopy) {
    canvas.tool = Tool::text;
    click(QPointF(20, 100));
    typeText(QStringLiteral("  \n  ")); // blank: nothing
    canvas.commitText();
    EXPECT_TRUE(canvas.marks().isEmpty());
    click(QPointF(20, 100));
    typeText({}, QStringLiteral("jie"));
    typeText(QStringLiteral("截"));
    typeText(QStringLiteral("图"));
    canvas.commitText();
    ASSERT_EQ(canvas.marks().size(), 1);
    EXPECT_EQ(canvas.marks()[0].text, QStringLiteral("截图"));
    // The text's top edge is the editor's, which rose 1.25 × the font size from the click.
    const QRectF b = canvas.marks()[0].bounds();
    EXPECT_NEAR(b.y() + b.height(), 100 + 24 * 1.25, 1.5);

    canvas.tool = Tool::rectangle;
    doubleClick(b.center());
    ASSERT_TRUE(canvas.textField());
    EXPECT_EQ(canvas.textField()->toPlainText(), QStringLiteral("截图"));
    // Emptied, the mark goes, undoably.
    canvas.textField()->clear();
    canvas.commitText();
    EXPECT_TRUE(canvas.marks().isEmpty());
    stack.undo();
    ASSERT_EQ(canvas.marks().size(), 1);
    EXPECT_EQ(copies, 0);
    doubleClick(QPointF(150, 20));
    EXPECT_EQ(copies, 1);
}

TEST_F(CanvasTest, TextNearTheBottomGrowsUpwardsAndStaysOnTheCanvas) {
    canvas.tool = Tool::text;
    click(QPointF(20, 12));
    typeText(QStringLiteral("第一行"));
    for (const char* line : {"第二行", "第三行"}) {
        key(canvas.textField(), Qt::Key_Return);
        typeText(QString::fromUtf8(line));
    }
    EXPECT_LE(canvas.textField()->geometry().bottom(), canvas.height());
    canvas.commitText();
    EXPECT_GE(canvas.marks().value(0).bounds().y(), -0.5) << "the last line is cut off";
}

TEST_F(CanvasTest, WheelStepsWidthsAtMostOncePerIntervalAndFontSizesStayWithinLimits) {
    // A notch within 0.12 s of the last one is swallowed.
    const std::tuple<int, bool, double> steps[] = {{120, false, 6},   {-120, false, 6},
                                                   {120, true, 6},    {-120, true, 3},
                                                   {-120, true, 1.5}, {-120, true, 1.5}};
    for (const auto& [delta, pause, width] : steps) {
        if (pause)
            QThread::msleep(130);
        wheel(c, QPointF(50, 50), QPoint(0, delta));
        EXPECT_EQ(canvas.strokeWidth, width);
    }
    // Text and number targets change the font size by 2 instead.
    canvas.tool = Tool::text;
    canvas.adjustStyleByWheel(1);
    EXPECT_EQ(canvas.fontSize, 26);
    canvas.applyFontSize(200);
    EXPECT_EQ(canvas.fontSize, 96);
    // Resizing a number scales its font.
    canvas.tool = Tool::number;
    canvas.fontSize = 20;
    click(QPointF(100, 75)); // radius 14: 28 × 28
    ASSERT_EQ(canvas.selectedMarkIndex(), 0);
    const auto dragCorner = [this](QPointF by) {
        const QRectF b = canvas.marks()[0].bounds();
        const QPointF corner(b.x() + b.width(), b.y() + b.height());
        drag(corner, corner + by);
        return canvas.marks()[0].fontSize;
    };
    EXPECT_NEAR(dragCorner(QPointF(14, 14)), 30, 0.01);
    EXPECT_LE(dragCorner(QPointF(500, 500)), 96); // limited by the view
    EXPECT_EQ(dragCorner(QPointF(-500, -500)), 10);
}

TEST_F(CanvasTest, SelectingAMarkLoadsItsStyleAndMovesNudgesAndRestylesUndo) {
    canvas.ink = QColor(0, 0, 255);
    canvas.strokeWidth = 6;
    drag(QPointF(20, 20), QPointF(80, 80));
    const Mark original = canvas.marks()[0];
    canvas.ink = QColor(255, 0, 0);
    canvas.strokeWidth = 1.5;
    const int before = styleChanges, steps = stack.count();
    click(QPointF(20, 35)); // on its left edge, away from the handles
    EXPECT_EQ(canvas.selectedMarkIndex(), 0);
    EXPECT_EQ(canvas.ink, QColor(0, 0, 255));
    EXPECT_EQ(canvas.strokeWidth, 6);
    EXPECT_GT(styleChanges, before);
    EXPECT_EQ(stack.count(), steps); // a click records nothing

    drag(QPointF(20, 35), QPointF(40, 45));
    EXPECT_EQ(canvas.marks()[0].points[0], original.points[0] + QPointF(20, 10));
    stack.undo();
    EXPECT_EQ(canvas.marks()[0], original);
    stack.redo();
    drag(QPointF(60, 70), QPointF(70, 70)); // grabbed by its inside
    EXPECT_EQ(canvas.marks()[0].points[0], original.points[0] + QPointF(30, 10));

    drag(QPointF(110, 60), QPointF(130, 60)); // the right handle: only the right edge moves
    EXPECT_EQ(canvas.marks()[0].bounds(), original.bounds().adjusted(30, 10, 50, 10));
    canvas.applyStyle(QColor(0, 255, 0), std::nullopt);
    EXPECT_EQ(canvas.marks()[0].color, QColor(0, 255, 0));
    stack.undo();
    EXPECT_EQ(canvas.marks()[0].color, QColor(0, 0, 255));

    // Arrows nudge by image pixels: 10 with Shift, 5 points at 2×.
    const Mark placed = canvas.marks()[0];
    key(c, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(canvas.marks()[0].points[0], placed.points[0] + QPointF(5, 0));
    key(c, Qt::Key_Up);
    EXPECT_EQ(canvas.marks()[0].points[0], placed.points[0] + QPointF(5, 0.5));
    stack.undo();
    stack.undo();
    EXPECT_EQ(canvas.marks()[0], placed);
    canvas.selectMark(std::nullopt); // without a selection keys pass on
    EXPECT_FALSE(key(c, Qt::Key_Left));
}

// From the second repaint the screen blits cached sprites: at 1× the export's pixels.
TEST(CanvasSprites, ScreenMatchesTheExportPixelForPixel) {
    QUndoStack stack;
    const QImage background = gradient(QSize(300, 200));
    Canvas canvas(background, background.size(), &stack);
    canvas.resize(300, 200);
    const Tool tools[] = {Tool::rectangle, Tool::ellipse, Tool::arrow, Tool::pen,
                          Tool::highlight, Tool::number,  Tool::text};
    for (int i = 0; i < 7; ++i) {
        const QPointF a(20.3 + (i % 4) * 70, 15.7 + (i / 4) * 90);
        Mark m = mark(tools[i], {a, a + QPointF(50, 40), a + QPointF(10, 60)}, 1.5 + i);
        m.text = QStringLiteral("字 %1").arg(i);
        m.color = QColor::fromHsv(i * 50, 200, 220);
        canvas.restore(m);
    }
    canvas.selectMark(std::nullopt);
    const QImage exported = canvas.renderImage().convertToFormat(QImage::Format_RGB32);
    for (int pass = 0; pass < 2; ++pass) {
        const QImage screen = canvas.grab().toImage().convertToFormat(QImage::Format_RGB32);
        int worst = 0;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 300; ++x)
                for (int shift : {0, 8, 16})
                    worst = std::max(worst, std::abs(int(screen.pixel(x, y) >> shift & 0xff) -
                                                     int(exported.pixel(x, y) >> shift & 0xff)));
        EXPECT_LE(worst, 2) << "pass " << pass;
    }
}
