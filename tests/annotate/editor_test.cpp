#include "../capture/testevents.h"
#include "annotate/annotationtoolbar.h"
#include "annotate/canvas.h"
#include "annotate/editor.h"
#include "capture/selectionchrome.h"
#include "capture/selectionview.h"
#include "history/screenshothistory.h"

#include <gtest/gtest.h>
#include <QCursor>
#include <QDialog>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QUndoStack>

using namespace korvel;
using namespace korvel::test;

namespace {

// 400 × 300 points at 2×, its gradient telling crops apart; 200 × 100 at 1× to its right.
std::vector<ScreenSnapshot> displays() {
    QImage wide(800, 600, QImage::Format_RGB32);
    for (int y = 0; y < wide.height(); ++y)
        for (int x = 0; x < wide.width(); ++x)
            wide.setPixel(x, y, qRgb(x % 256, y % 256, (x / 256) * 60));
    QImage small(200, 100, QImage::Format_RGB32);
    small.fill(Qt::darkGreen);
    return {{QRectF(0, 0, 400, 300), wide, {QRectF(50, 50, 200, 150)}, {}, {}},
            {QRectF(400, 0, 200, 100), small, {}, {}, QPointF(400, 200)}};
}

struct EditorTest : ::testing::Test {
    QTemporaryDir dir;
    std::unique_ptr<ScreenshotHistory> history;
    int closes = 0;
    std::function<int(QDialog&)> modal = [](QDialog&) { return int(QDialog::Rejected); };
    std::unique_ptr<Editor> editor;

    void SetUp() override {
        QSettings().setValue(QStringLiteral("historyEnabled"), true);
        history = std::make_unique<ScreenshotHistory>(dir.filePath(QStringLiteral("History")),
                                                      [] { return std::make_unique<QSettings>(); });
        EditorServices services;
        services.history = history.get();
        services.copyCloses = [] { return false; };
        services.runModal = [this](QDialog& d) { return modal(d); };
        editor = std::make_unique<Editor>(displays(), std::move(services));
        editor->onClose = [this] { ++closes; };
        editor->showWindow();
    }
    void TearDown() override {
        editor.reset();
        history->waitForIdle();
    }
    SelectionView* view(int i = 0) { return editor->root(std::size_t(i)); }
    QUndoStack* edits(int i = 0) { return editor->overlayWindows()[std::size_t(i)]->edits(); }
    void lock(const QRectF& r, int i = 0) {
        ASSERT_TRUE(view(i)->onSelect);
        view(i)->selected = true;
        view(i)->selection = r;
        view(i)->onSelect(r);
    }
    int entries() {
        history->waitForIdle();
        return int(history->entries().size());
    }
};

TEST_F(EditorTest, SelectionsSnapToWholePixelsAndTheCanvasFollows) {
    lock(QRectF(10, 20, 100, 50));
    Canvas* canvas = editor->canvas();
    ASSERT_TRUE(canvas);
    EXPECT_EQ(canvas->pixelSize(), QSize(200, 100));
    EXPECT_EQ(canvas->geometry(), QRect(10, 300 - 20 - 50, 100, 50));

    // Fractional edges widen outward to the pixels they touch.
    editor->updateSelection(QRectF(10.3, 20.2, 50.1, 30.1), view());
    EXPECT_EQ(canvas->pixelSize(), QSize(101, 61));
    EXPECT_EQ(view()->selection, QRectF(10, 20, 50.5, 30.5));
    EXPECT_EQ(editor->chrome()->selection(), QRectF(10, 20, 50.5, 30.5));
    EXPECT_EQ(canvas->annotationOrigin, QPointF(10, 20));
    // The crop holds the pixels under the selection: column 20, row 600 − 101.
    EXPECT_EQ(canvas->renderImage().pixel(0, 0), qRgb(20, (600 - 101) % 256, 0));
    // On the 2× display those 101 × 61 pixels show one to one (inside the chrome).
    QImage screen(view()->size() * 2, QImage::Format_RGB32);
    screen.setDevicePixelRatio(2);
    view()->render(&screen);
    int wrong = 0;
    for (int y = 509; y < 550; ++y)
        for (int x = 30; x < 111; ++x)
            wrong += screen.pixel(x, y) != view()->snapshot().image.pixel(x, y);
    EXPECT_EQ(wrong, 0);

    // Every overlay is locked; only the chosen one holds the canvas.
    EXPECT_TRUE(view(1)->selected);
    EXPECT_EQ(canvas->parentWidget(), view());
    EXPECT_EQ(editor->keyOverlay(), editor->overlayWindows()[0]);
}

// The cursor changes where the pointer rests, without waiting for it to move.
TEST_F(EditorTest, TheCanvasCursorFollowsToolsWidthsModesAndTheSelectedMark) {
    lock(QRectF(10, 10, 200, 150));
    Canvas* canvas = editor->canvas();
    drag(canvas, QPointF(20, 20), QPointF(80, 60)); // a rectangle
    mouse(canvas, QEvent::MouseMove, QPointF(150, 100), Qt::NoButton);
    const auto button = [this](const char* title) {
        return [this, title] { editor->toolbar()->button(QString::fromUtf8(title))->click(); };
    };
    const std::tuple<std::function<void()>, Qt::CursorShape, int> steps[] = {
        {[&] { key(canvas, Qt::Key_Ampersand, Qt::ShiftModifier); }, Qt::BitmapCursor, 34},
        {button("粗线"), Qt::BitmapCursor, 64}, // the brush ring's side in points
        {button("框选"), Qt::CrossCursor, 0},
        {button("tool.select"), Qt::ArrowCursor, 0},
        {[&] { // a mark selected under the resting pointer
             QCursor::setPos(canvas->mapToGlobal(QPoint(20, 20)));
             click(canvas, QPointF(20, 20));
         },
         handleCursor(SelectionHandle::topLeft), 0},
    };
    QCursor::setPos(canvas->mapToGlobal(QPoint(150, 100)));
    for (const auto& [act, shape, side] : steps) {
        act();
        EXPECT_EQ(canvas->cursor().shape(), shape);
        EXPECT_EQ(side ? canvas->cursor().pixmap().deviceIndependentSize().width() : 0, side);
    }
}

TEST_F(EditorTest, ARightClickWhileEditingReselects) {
    lock(QRectF(10, 10, 100, 100));
    drag(editor->canvas(), QPointF(10, 10), QPointF(60, 60)); // a rectangle mark
    EXPECT_EQ(edits(0)->count(), 1);

    mouse(editor->canvas(), QEvent::MouseButtonPress, {5, 5}, Qt::RightButton, {}, Qt::RightButton);
    EXPECT_FALSE(editor->canvas());
    EXPECT_FALSE(editor->toolbar());
    EXPECT_FALSE(view()->selected);
    EXPECT_FALSE(view(1)->selected);
    EXPECT_FALSE(view()->sizeBadge()->onEdit);
    EXPECT_EQ(edits(0)->count(), 0);
    EXPECT_EQ(closes, 0);
}

TEST_F(EditorTest, ArrowsNudgeTheSelectionByImagePixelsUnlessAMarkIsSelected) {
    lock(QRectF(100, 100, 50, 50));
    key(editor->canvas(), Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(view()->selection, QRectF(95, 100, 50, 50)); // 10 pixels at 2×
    key(editor->canvas(), Qt::Key_Up);
    EXPECT_EQ(view()->selection, QRectF(95, 100.5, 50, 50));
    key(editor->canvas(), Qt::Key_Up, Qt::ControlModifier); // not a nudge
    EXPECT_EQ(view()->selection, QRectF(95, 100.5, 50, 50));

    drag(editor->canvas(), QPointF(5, 5), QPointF(30, 30));
    ASSERT_TRUE(editor->canvas()->selectedMarkIndex());
    key(editor->canvas(), Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(view()->selection, QRectF(95, 100.5, 50, 50));
}

TEST_F(EditorTest, TheSizeDialogSetsExactPixelsAndIgnoresNonsense) {
    lock(QRectF(10, 10, 50, 50));
    QString width = QStringLiteral("300"), height = QStringLiteral("200"), shown;
    modal = [&](QDialog& d) {
        auto* w = d.findChild<QLineEdit*>(QStringLiteral("宽度像素"));
        auto* h = d.findChild<QLineEdit*>(QStringLiteral("高度像素"));
        if (!w || !h || !editor->isSaving())
            return int(QDialog::Rejected);
        shown = w->text();
        w->setText(width);
        h->setText(height);
        return int(QDialog::Accepted);
    };
    ASSERT_TRUE(view()->sizeBadge()->onEdit);
    view()->sizeBadge()->onEdit();
    EXPECT_EQ(shown, QStringLiteral("100"));
    EXPECT_EQ(editor->canvas()->pixelSize(), QSize(300, 200));
    EXPECT_FALSE(editor->isSaving());
    EXPECT_TRUE(editor->overlayWindows()[0]->isVisible());
    height = QStringLiteral("120");
    for (const char* bad : {"0", "abc", "inf", "-5", ""}) {
        width = QString::fromLatin1(bad);
        view()->sizeBadge()->onEdit();
        EXPECT_EQ(editor->canvas()->pixelSize(), QSize(300, 200)) << bad;
    }
}

// Pins over the selection: e2e.Targets.
TEST_F(EditorTest, OnlyAPlainSpaceTogglesWholeWindowsWhilePicking) {
    key(view(), Qt::Key_Space);
    EXPECT_TRUE(view()->windowSelectionOnly());
    key(view(), Qt::Key_Space, Qt::ShiftModifier);
    EXPECT_TRUE(view()->windowSelectionOnly());
}

// Overlays that bypass the window manager get Control keys as presses: the editor claims them.
TEST_F(EditorTest, ControlKeysUndoRedoAndCopyButTextKeepsItsKeysAndAFreshEscapeCloses) {
    EXPECT_FALSE(key(view(), Qt::Key_Z, Qt::ControlModifier, QEvent::ShortcutOverride));
    lock(QRectF(10, 10, 100, 60));
    Canvas* canvas = editor->canvas();
    drag(canvas, QPointF(10, 10), QPointF(40, 40));
    EXPECT_TRUE(key(canvas, Qt::Key_Z, Qt::ControlModifier, QEvent::ShortcutOverride));
    key(canvas, Qt::Key_Z, Qt::ControlModifier | Qt::AltModifier); // no key equivalent
    EXPECT_EQ(canvas->marks().size(), 1);
    key(canvas, Qt::Key_Z, Qt::ControlModifier); // redo and the pixels: e2e.Capture
    EXPECT_TRUE(canvas->marks().empty());

    // In a text mark these keys belong to the text field.
    canvas->beginText(QPointF(60, 20), std::nullopt);
    ASSERT_TRUE(canvas->textField());
    EXPECT_FALSE(
        key(editor->overlayWindows()[0], Qt::Key_Z, Qt::ControlModifier, QEvent::ShortcutOverride));
    key(canvas->textField(), Qt::Key_C, Qt::ControlModifier);
    key(canvas->textField(), Qt::Key_Return);
    key(canvas->textField(), Qt::Key_Space);
    key(canvas->textField(), Qt::Key_C, Qt::ShiftModifier);
    EXPECT_EQ(entries(), 0);
    canvas->commitText(); // Escape there: ResultTest's keys case

    key(canvas, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(entries(), 1);
    // Repeats of a key held since before the capture neither close nor copy.
    for (const int k : {Qt::Key_Escape, Qt::Key_Return}) {
        QKeyEvent repeat(QEvent::KeyPress, k, {}, QString(), true);
        QApplication::sendEvent(canvas, &repeat);
    }
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(entries(), 1);
    key(canvas, Qt::Key_Escape);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(editor->overlayWindows()[0]->isVisible());
}

} // namespace
