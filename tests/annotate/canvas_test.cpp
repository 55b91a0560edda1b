#include "annotate/canvas.h"

#include "testimages.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QThread>
#include <QWheelEvent>

using namespace korvel;

namespace {

using test::gradient;

// A canvas of 200 × 150 points over a 400 × 300-pixel image (2×).
struct CanvasTest : ::testing::Test {
    QUndoStack stack;
    QImage background = gradient(QSize(400, 300));
    std::unique_ptr<Canvas> canvas;
    int styleChanges = 0;
    int copies = 0;

    void SetUp() override {
        canvas = std::make_unique<Canvas>(background, background.size(), &stack);
        canvas->resize(200, 150);
        canvas->onStyleChange = [this] { ++styleChanges; };
        canvas->onCopy = [this] { ++copies; };
    }

    // Points are annotation space (y up); events carry widget coordinates.
    void send(QEvent::Type type, QPointF p, Qt::MouseButtons buttons,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        const QPointF w = canvas->toWidget(p);
        QMouseEvent event(type, w, canvas->mapToGlobal(w),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          modifiers);
        QApplication::sendEvent(canvas.get(), &event);
    }
    void press(QPointF p, Qt::KeyboardModifiers m = Qt::NoModifier) {
        send(QEvent::MouseButtonPress, p, Qt::LeftButton, m);
    }
    void moveTo(QPointF p, Qt::KeyboardModifiers m = Qt::NoModifier) {
        send(QEvent::MouseMove, p, Qt::LeftButton, m);
    }
    void release(QPointF p, Qt::KeyboardModifiers m = Qt::NoModifier) {
        send(QEvent::MouseButtonRelease, p, Qt::NoButton, m);
    }
    void drag(QPointF from, QPointF to, Qt::KeyboardModifiers m = Qt::NoModifier) {
        press(from, m);
        for (int i = 1; i <= 4; ++i)
            moveTo(from + (to - from) * (i / 4.0), m);
        release(to, m);
    }
    void click(QPointF p) {
        press(p);
        release(p);
    }
    void doubleClick(QPointF p) {
        click(p);
        send(QEvent::MouseButtonDblClick, p, Qt::LeftButton);
        release(p);
    }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QKeyEvent event(QEvent::KeyPress, k, m);
        QApplication::sendEvent(canvas.get(), &event);
    }
    void wheel(int delta) {
        const QPointF w(50, 50);
        QWheelEvent event(w, canvas->mapToGlobal(w), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(canvas.get(), &event);
    }
    void typeText(const QString& text) {
        ASSERT_TRUE(canvas->textField());
        QInputMethodEvent event;
        event.setCommitString(text);
        QApplication::sendEvent(canvas->textField(), &event);
    }
    QImage exported() {
        const auto bytes = canvas->png();
        EXPECT_TRUE(bytes);
        return QImage::fromData(bytes.value_or(QByteArray()), "PNG")
            .convertToFormat(QImage::Format_RGB32);
    }
};

} // namespace

TEST_F(CanvasTest, EveryToolUndoAllRedoAllExportsTheSamePixels) {
    const QImage plain = exported();
    EXPECT_EQ(plain, background.convertToFormat(QImage::Format_RGB32));

    const std::pair<Tool, std::pair<QPointF, QPointF>> drawn[] = {
        {Tool::rectangle, {{10, 10}, {60, 40}}},   {Tool::ellipse, {{70, 10}, {110, 50}}},
        {Tool::arrow, {{10, 60}, {80, 100}}},      {Tool::pen, {{90, 60}, {140, 90}}},
        {Tool::highlight, {{10, 110}, {90, 120}}}, {Tool::blur, {{120, 100}, {190, 140}}},
    };
    for (const auto& [tool, line] : drawn) {
        canvas->tool = tool;
        drag(line.first, line.second);
    }
    canvas->tool = Tool::mosaic;
    canvas->mosaicMode = MosaicMode::rectangle;
    drag(QPointF(150, 10), QPointF(190, 50));
    canvas->mosaicMode = MosaicMode::brush;
    drag(QPointF(100, 130), QPointF(180, 120));
    canvas->tool = Tool::number;
    click(QPointF(160, 80));
    canvas->tool = Tool::text;
    click(QPointF(20, 140));
    typeText(QStringLiteral("截图 Korvel"));
    canvas->commitText();
    ASSERT_EQ(canvas->marks().size(), 10);
    EXPECT_EQ(canvas->marks().back().text, QStringLiteral("截图 Korvel"));

    const QImage annotated = exported();
    EXPECT_EQ(annotated.size(), QSize(400, 300));
    EXPECT_NE(annotated, plain);

    while (stack.canUndo())
        stack.undo();
    EXPECT_TRUE(canvas->marks().isEmpty());
    EXPECT_EQ(exported(), plain);
    while (stack.canRedo())
        stack.redo();
    EXPECT_EQ(canvas->marks().size(), 10);
    EXPECT_EQ(exported(), annotated);
}

TEST_F(CanvasTest, ExportIsFullPixelSizeAndMarksLandWhereTheyAreShown) {
    canvas->ink = QColor(255, 0, 0);
    canvas->strokeWidth = 4;
    drag(QPointF(50, 50), QPointF(100, 100)); // rectangle
    const QImage png = exported();
    EXPECT_EQ(png.size(), QSize(400, 300));
    // The top edge at annotation y = 100 is pixel row (150 − 100) × 2 = 100.
    EXPECT_EQ(png.pixel(120, 100), qRgb(255, 0, 0));
    EXPECT_NE(png.pixel(120, 110), qRgb(255, 0, 0));
    // On screen (1×) the same edge is at widget row 50 (away from the handles).
    const QImage screen = canvas->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(screen.size(), QSize(200, 150));
    EXPECT_EQ(screen.pixel(60, 50), qRgb(255, 0, 0));
    // No selection decoration in the export: the handle square at the
    // bottom-left corner of the bounds is plain background there.
    ASSERT_TRUE(canvas->selectedMarkIndex());
    EXPECT_EQ(png.pixel(92, 212), background.pixel(92, 212));
}

TEST_F(CanvasTest, ClicksWithoutMovementCreateNothingButThreePointDragsDo) {
    for (Tool tool : {Tool::rectangle, Tool::arrow, Tool::ellipse, Tool::blur, Tool::mosaic}) {
        canvas->tool = tool;
        canvas->mosaicMode = MosaicMode::rectangle;
        click(QPointF(100, 75));
        drag(QPointF(20, 20), QPointF(21, 21)); // 1.4 points: too small
    }
    EXPECT_TRUE(canvas->marks().isEmpty());
    EXPECT_EQ(stack.count(), 0);
    canvas->tool = Tool::rectangle;
    drag(QPointF(20, 20), QPointF(23, 20));
    EXPECT_EQ(canvas->marks().size(), 1);
}

TEST_F(CanvasTest, NumbersContinueAfterTheHighest) {
    canvas->tool = Tool::number;
    click(QPointF(20, 20));
    click(QPointF(60, 20));
    click(QPointF(100, 20));
    ASSERT_EQ(canvas->marks().size(), 3);
    EXPECT_EQ(canvas->marks()[2].number, 3);
    canvas->selectMark(1);
    key(Qt::Key_Delete);
    ASSERT_EQ(canvas->marks().size(), 2);
    click(QPointF(140, 100));
    EXPECT_EQ(canvas->marks().back().number, 4);
}

TEST_F(CanvasTest, MosaicBrushClickPaintsADotAndSelectsNothing) {
    canvas->tool = Tool::mosaic;
    canvas->mosaicMode = MosaicMode::brush;
    click(QPointF(50, 50));
    ASSERT_EQ(canvas->marks().size(), 1);
    EXPECT_TRUE(canvas->marks()[0].isMosaicBrush());
    EXPECT_FALSE(canvas->selectedMarkIndex());
    // The next drag starts a new stroke even over the dot.
    drag(QPointF(50, 50), QPointF(90, 50));
    EXPECT_EQ(canvas->marks().size(), 2);
}

TEST_F(CanvasTest, DoubleClickEditsTextOrCopies) {
    canvas->tool = Tool::text;
    click(QPointF(20, 100));
    typeText(QStringLiteral("中文"));
    canvas->commitText();
    ASSERT_EQ(canvas->marks().size(), 1);
    const QRectF b = canvas->marks()[0].bounds();

    canvas->tool = Tool::rectangle;
    doubleClick(b.center());
    ASSERT_TRUE(canvas->textField());
    EXPECT_EQ(canvas->textField()->toPlainText(), QStringLiteral("中文"));
    canvas->cancelText();
    EXPECT_EQ(copies, 0);
    doubleClick(QPointF(150, 20));
    EXPECT_EQ(copies, 1);
}

TEST_F(CanvasTest, BlankTextCreatesNothingAndEmptiedTextIsRemovedUndoably) {
    canvas->tool = Tool::text;
    click(QPointF(20, 100));
    typeText(QStringLiteral("  \n  "));
    canvas->commitText();
    EXPECT_TRUE(canvas->marks().isEmpty());

    click(QPointF(20, 100));
    typeText(QStringLiteral("保留"));
    canvas->commitText();
    ASSERT_EQ(canvas->marks().size(), 1);
    canvas->beginText(canvas->marks()[0].points[0], 0);
    canvas->textField()->clear();
    canvas->commitText();
    EXPECT_TRUE(canvas->marks().isEmpty());
    stack.undo();
    ASSERT_EQ(canvas->marks().size(), 1);
    EXPECT_EQ(canvas->marks()[0].text, QStringLiteral("保留"));
}

TEST_F(CanvasTest, InputMethodPreeditThenCommitEntersChinese) {
    canvas->tool = Tool::text;
    click(QPointF(20, 100));
    ASSERT_TRUE(canvas->textField());
    {
        QInputMethodEvent preedit(QStringLiteral("jie"), {});
        QApplication::sendEvent(canvas->textField(), &preedit);
    }
    typeText(QStringLiteral("截"));
    typeText(QStringLiteral("图"));
    canvas->commitText();
    ASSERT_EQ(canvas->marks().size(), 1);
    EXPECT_EQ(canvas->marks()[0].text, QStringLiteral("截图"));
    // The editor rose from the click point, 1.25 × the font size tall; the
    // text's top edge is where the editor's was.
    const QRectF b = canvas->marks()[0].bounds();
    EXPECT_NEAR(b.y() + b.height(), 100 + 24 * 1.25, 1.5);
}

TEST_F(CanvasTest, TextNearTheBottomGrowsUpwardsAndStaysOnTheCanvas) {
    canvas->tool = Tool::text;
    click(QPointF(20, 12));
    typeText(QStringLiteral("第一行"));
    for (const char* line : {"第二行", "第三行"}) {
        QKeyEvent ret(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(canvas->textField(), &ret);
        typeText(QString::fromUtf8(line));
    }
    EXPECT_LE(canvas->textField()->geometry().bottom(), canvas->height());
    canvas->commitText();
    EXPECT_GE(canvas->marks().value(0).bounds().y(), -0.5) << "the last line is cut off";
}

TEST_F(CanvasTest, ResizingANumberScalesItsFontWithinLimits) {
    canvas->tool = Tool::number;
    canvas->fontSize = 20;
    click(QPointF(100, 75));
    ASSERT_EQ(canvas->selectedMarkIndex(), 0);
    const QRectF b = canvas->marks()[0].bounds(); // radius 14: 28 × 28
    const QPointF corner(b.x() + b.width(), b.y() + b.height());
    drag(corner, corner + QPointF(14, 14));
    EXPECT_NEAR(canvas->marks()[0].fontSize, 30, 0.01);
    const QRectF c = canvas->marks()[0].bounds();
    const QPointF corner2(c.x() + c.width(), c.y() + c.height());
    drag(corner2, corner2 + QPointF(500, 500)); // limited by the view
    EXPECT_LE(canvas->marks()[0].fontSize, 96);
    const QRectF d = canvas->marks()[0].bounds();
    const QPointF corner3(d.x() + d.width(), d.y() + d.height());
    drag(corner3, corner3 - QPointF(500, 500));
    EXPECT_EQ(canvas->marks()[0].fontSize, 10);
}

TEST_F(CanvasTest, ShiftArrowNudgesByTenImagePixelsAndUndoes) {
    drag(QPointF(20, 20), QPointF(60, 60));
    const Mark before = canvas->marks()[0];
    key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(canvas->marks()[0].points[0], before.points[0] + QPointF(5, 0)); // 2×: 5 points
    key(Qt::Key_Up);
    EXPECT_EQ(canvas->marks()[0].points[0], before.points[0] + QPointF(5, 0.5));
    stack.undo();
    stack.undo();
    EXPECT_EQ(canvas->marks()[0], before);
    // Without a selection keys pass on.
    canvas->selectMark(std::nullopt);
    QKeyEvent event(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
    QApplication::sendEvent(canvas.get(), &event);
    EXPECT_FALSE(event.isAccepted());
}

TEST_F(CanvasTest, WheelStepsThroughWidthsAtMostOncePerInterval) {
    EXPECT_EQ(canvas->strokeWidth, 3);
    wheel(120);
    EXPECT_EQ(canvas->strokeWidth, 6);
    wheel(-120); // within 0.12 s: swallowed
    EXPECT_EQ(canvas->strokeWidth, 6);
    auto pause = [] { QThread::msleep(130); };
    pause();
    wheel(120);
    EXPECT_EQ(canvas->strokeWidth, 6);
    pause();
    wheel(-120);
    EXPECT_EQ(canvas->strokeWidth, 3);
    pause();
    wheel(-120);
    EXPECT_EQ(canvas->strokeWidth, 1.5);
    pause();
    wheel(-120);
    EXPECT_EQ(canvas->strokeWidth, 1.5);
    // Text and number targets change the font size by 2 instead.
    canvas->tool = Tool::text;
    canvas->adjustStyleByWheel(1);
    EXPECT_EQ(canvas->fontSize, 26);
    canvas->applyFontSize(200);
    EXPECT_EQ(canvas->fontSize, 96);
}

TEST_F(CanvasTest, SelectingAMarkLoadsItsStyle) {
    canvas->ink = QColor(0, 0, 255);
    canvas->strokeWidth = 6;
    drag(QPointF(20, 20), QPointF(80, 80));
    canvas->ink = QColor(255, 0, 0);
    canvas->strokeWidth = 1.5;
    const int before = styleChanges;
    click(QPointF(20, 50)); // on its left edge
    EXPECT_EQ(canvas->selectedMarkIndex(), 0);
    EXPECT_EQ(canvas->ink, QColor(0, 0, 255));
    EXPECT_EQ(canvas->strokeWidth, 6);
    EXPECT_GT(styleChanges, before);
    // Restyling the selection is one undo step.
    canvas->applyStyle(QColor(0, 255, 0), std::nullopt);
    EXPECT_EQ(canvas->marks()[0].color, QColor(0, 255, 0));
    stack.undo();
    EXPECT_EQ(canvas->marks()[0].color, QColor(0, 0, 255));
}

TEST_F(CanvasTest, MovesAreUndoableAndClicksRecordNothing) {
    drag(QPointF(20, 20), QPointF(80, 80));
    const Mark original = canvas->marks()[0];
    const int steps = stack.count();
    click(QPointF(20, 35)); // on the left edge, away from its handle
    EXPECT_EQ(stack.count(), steps);
    drag(QPointF(20, 35), QPointF(40, 45));
    EXPECT_EQ(canvas->marks()[0].points[0], original.points[0] + QPointF(20, 10));
    stack.undo();
    EXPECT_EQ(canvas->marks()[0], original);
    stack.redo();
    EXPECT_EQ(canvas->marks()[0].points[0], original.points[0] + QPointF(20, 10));
    // A selected rectangle can be grabbed by its inside.
    drag(QPointF(60, 70), QPointF(70, 70));
    EXPECT_EQ(canvas->marks()[0].points[0], original.points[0] + QPointF(30, 10));
}

TEST_F(CanvasTest, PointerIsClampedToTheView) {
    drag(QPointF(150, 100), QPointF(500, 500));
    ASSERT_EQ(canvas->marks().size(), 1);
    EXPECT_EQ(canvas->marks()[0].points[1], QPointF(200, 150));
    // With an annotation origin the marks live in the shifted space.
    canvas->annotationOrigin = QPointF(1000, 2000);
    drag(QPointF(1010, 2010), QPointF(1050, 2050));
    EXPECT_EQ(canvas->marks()[1].points[0], QPointF(1010, 2010));
}

TEST(CanvasSprites, ScreenMatchesTheExportPixelForPixel) {
    // At 1× the screen and the export have the same pixels; the screen draws
    // vector marks from cached sprites, the export draws them directly.
    QUndoStack stack;
    const QImage background = gradient(QSize(300, 200));
    Canvas canvas(background, background.size(), &stack);
    canvas.resize(300, 200);
    const Tool tools[] = {Tool::rectangle, Tool::ellipse, Tool::arrow, Tool::pen,
                          Tool::highlight, Tool::number,  Tool::text};
    int i = 0;
    for (Tool tool : tools) {
        Mark m;
        m.tool = tool;
        const QPointF a(20.3 + (i % 4) * 70, 15.7 + (i / 4) * 90);
        m.points = {a, a + QPointF(50, 40), a + QPointF(10, 60)};
        m.text = QStringLiteral("字 %1").arg(i);
        m.color = QColor::fromHsv(i * 50, 200, 220);
        m.width = 1.5 + i;
        canvas.restore(m);
        ++i;
    }
    canvas.selectMark(std::nullopt);
    const QImage exported = canvas.renderImage().convertToFormat(QImage::Format_RGB32);
    for (int pass = 0; pass < 2; ++pass) { // the second repaint blits cached sprites
        const QImage screen = canvas.grab().toImage().convertToFormat(QImage::Format_RGB32);
        int worst = 0;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 300; ++x) {
                const QRgb a = screen.pixel(x, y), b = exported.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)),
                                  std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
            }
        EXPECT_LE(worst, 2) << "pass " << pass;
    }
}
