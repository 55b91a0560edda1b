#include "../testwait.h"
#include "annotate/annotationtoolbar.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

using namespace korvel;

namespace {
QStringList titlesOf(const AnnotationToolbar& bar, const QString& prefix) {
    QStringList titles;
    for (QToolButton* b : bar.findChildren<QToolButton*>()) {
        if (b->objectName().startsWith(prefix))
            titles << b->text();
    }
    return titles;
}
} // namespace

TEST(AnnotationToolbar, NarrowHostsGetThreeRowsWithTheSameButtons) {
    AnnotationToolbar wide(4000);
    AnnotationToolbar narrow(300);
    EXPECT_FALSE(wide.isCompact());
    EXPECT_TRUE(narrow.isCompact());
    EXPECT_EQ(titlesOf(wide, QStringLiteral("tool.")), titlesOf(narrow, QStringLiteral("tool.")));
    EXPECT_EQ(
        titlesOf(wide, QStringLiteral("action.")),
        (QStringList{QStringLiteral("识别文字"), QStringLiteral("长截图"), QStringLiteral("撤销"),
                     QStringLiteral("重做"), QStringLiteral("贴图"), QStringLiteral("保存"),
                     QStringLiteral("关闭"), QStringLiteral("复制")}));
    EXPECT_GT(narrow.height(), wide.height());
    EXPECT_LT(narrow.width(), wide.width());
}

TEST(AnnotationToolbar, ToolsAreIndexedByTheTableAndShownInDisplayOrder) {
    AnnotationToolbar bar(4000);
    EXPECT_EQ(
        titlesOf(bar, QStringLiteral("tool.")),
        (QStringList{QStringLiteral("移动选区"), QStringLiteral("选择标注"), QStringLiteral("矩形"),
                     QStringLiteral("圆形"), QStringLiteral("箭头"), QStringLiteral("手绘"),
                     QStringLiteral("文字"), QStringLiteral("马赛克"), QStringLiteral("模糊"),
                     QStringLiteral("编号"), QStringLiteral("高亮")}));
    int chosen = -1;
    bar.onTool = [&](int i) { chosen = i; };
    bar.button(QStringLiteral("tool.ellipse"))->click();
    EXPECT_EQ(chosen, 6);
    EXPECT_EQ(toolForIndex(6), Tool::ellipse);
    EXPECT_EQ(toolForIndex(2), Tool::rectangle);
    EXPECT_EQ(toolForIndex(10), Tool::highlight);
    EXPECT_FALSE(toolForIndex(1));
    EXPECT_FALSE(toolForIndex(11));
    EXPECT_TRUE(bar.button(QStringLiteral("tool.ellipse"))->isChecked());
    EXPECT_FALSE(bar.button(QStringLiteral("tool.rectangle"))->isChecked());
}

TEST(AnnotationToolbar, ContextShowsWhatTheToolUses) {
    AnnotationToolbar bar(4000);
    bar.show();
    bar.selectTool(1);
    EXPECT_FALSE(bar.styleRow()->isVisible()); // select mode, nothing selected
    bar.selectTool(8);                         // blur
    EXPECT_TRUE(bar.styleRow()->isVisible());
    EXPECT_FALSE(bar.colorGroup()->isVisible());
    EXPECT_TRUE(bar.widthLabel()->isVisible());
    EXPECT_EQ(bar.widthLabel()->text(), QStringLiteral("模糊强度"));
    EXPECT_EQ(bar.widths()[0]->toolTip(), QStringLiteral("低强度"));
    EXPECT_EQ(bar.widths()[2]->toolTip(), QStringLiteral("高强度"));
    bar.selectTool(7); // mosaic, brush
    EXPECT_TRUE(bar.mosaicModeControl()->isVisible());
    EXPECT_EQ(bar.widthLabel()->text(), QStringLiteral("笔刷大小"));
    EXPECT_EQ(bar.widths()[0]->toolTip(), QStringLiteral("小号笔刷 · 18 pt"));
    EXPECT_EQ(bar.widths()[1]->toolTip(), QStringLiteral("中号笔刷 · 30 pt"));
    EXPECT_EQ(bar.widths()[2]->toolTip(), QStringLiteral("大号笔刷 · 60 pt"));
    MosaicMode reported = MosaicMode::brush;
    bar.onMosaicMode = [&](MosaicMode m) { reported = m; };
    bar.button(QStringLiteral("框选"))->click();
    EXPECT_EQ(reported, MosaicMode::rectangle);
    EXPECT_EQ(bar.widthLabel()->text(), QStringLiteral("颗粒大小"));
    EXPECT_EQ(bar.widths()[1]->toolTip(), QStringLiteral("中颗粒"));
    bar.selectTool(5); // text
    EXPECT_TRUE(bar.fontGroup()->isVisible());
    EXPECT_TRUE(bar.colorGroup()->isVisible());
    EXPECT_FALSE(bar.widthLabel()->isVisible());
    EXPECT_EQ(bar.widths()[1]->toolTip(), QStringLiteral("中线 · 3.0 pt"));
    // A selected mark's tool wins over the active tool.
    bar.updateContext(Tool::number, std::nullopt);
    EXPECT_TRUE(bar.fontGroup()->isVisible());
}

// Swatches and width buttons stay under the pointer, in both layouts.
TEST(AnnotationToolbar, StyleButtonsStayPutWhenTheToolChanges) {
    for (const int available : {4000, 300}) {
        AnnotationToolbar bar(available);
        bar.show();
        const auto place = [&bar](const QWidget* w) {
            QCoreApplication::sendPostedEvents(); // the layouts, as before a repaint
            return w->isVisible() ? w->mapTo(&bar, QPoint()) : QPoint(-1, -1);
        };
        bar.button(QStringLiteral("tool.rectangle"))->click();
        const QPoint colours = place(bar.colorGroup()), widths = place(bar.widths()[0]);
        for (const char* tool :
             {"tool.text", "tool.mosaic", "tool.blur", "tool.number", "tool.pen"}) {
            bar.button(QString::fromLatin1(tool))->click();
            EXPECT_EQ(place(bar.widths()[0]), widths) << tool;
            EXPECT_TRUE(!bar.colorGroup()->isVisible() || place(bar.colorGroup()) == colours)
                << tool;
        }
    }
}

TEST(AnnotationToolbar, ShiftShortcutsOnly) {
    AnnotationToolbar bar(4000);
    int tool = -1;
    std::optional<bool> ocr;
    bar.onTool = [&](int i) { tool = i; };
    bar.onOCR = [&](bool copy) { ocr = copy; };
    EXPECT_TRUE(bar.handleShortcut(QKeyEvent(QEvent::KeyPress, Qt::Key_Dollar, Qt::ShiftModifier)));
    EXPECT_EQ(tool, 9);
    EXPECT_EQ(bar.activeTool(), 9);
    // By physical key: X key code 17 is the 8 key.
    EXPECT_TRUE(bar.handleShortcut(
        QKeyEvent(QEvent::KeyPress, Qt::Key_unknown, Qt::ShiftModifier, 17, 0, 0)));
    EXPECT_EQ(tool, 5);
    EXPECT_TRUE(bar.handleShortcut(QKeyEvent(QEvent::KeyPress, Qt::Key_C, Qt::ShiftModifier)));
    EXPECT_EQ(ocr, true);
    EXPECT_FALSE(bar.handleShortcut(
        QKeyEvent(QEvent::KeyPress, Qt::Key_Dollar, Qt::ShiftModifier | Qt::ControlModifier)));
    EXPECT_FALSE(bar.handleShortcut(QKeyEvent(QEvent::KeyPress, Qt::Key_4, Qt::NoModifier)));
    EXPECT_FALSE(bar.handleShortcut(QKeyEvent(QEvent::KeyPress, Qt::Key_At, Qt::ShiftModifier)));
}

TEST(AnnotationToolbar, StyleActionsAndTips) {
    AnnotationToolbar bar(4000);
    bar.updateStyle(QColor(0, 122, 255), 6);
    EXPECT_TRUE(bar.button(QStringLiteral("蓝色"))->isChecked());
    EXPECT_FALSE(bar.button(QStringLiteral("红色"))->isChecked());
    EXPECT_TRUE(bar.button(QStringLiteral("粗线"))->isChecked());
    bar.updateStyle(QColor(1, 2, 3), 2);
    EXPECT_FALSE(bar.button(QStringLiteral("蓝色"))->isChecked());
    EXPECT_FALSE(bar.button(QStringLiteral("中线"))->isChecked());

    EXPECT_EQ(bar.button(QStringLiteral("识别文字"))->toolTip(),
              QStringLiteral("识别文字 · Shift+C 快速复制文字"));
    EXPECT_EQ(bar.button(QStringLiteral("撤销"))->toolTip(), QStringLiteral("撤销 · Ctrl+Z"));
    EXPECT_EQ(bar.button(QStringLiteral("关闭"))->toolTip(), QStringLiteral("关闭 · Esc"));
    EXPECT_EQ(bar.button(QStringLiteral("长截图"))->toolTip(),
              QStringLiteral("长截图 · 选择滚动内容区域后缓慢向下滚动"));
    EXPECT_EQ(bar.button(QStringLiteral("复制"))->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
    int undos = 0;
    bar.onUndo = [&] { ++undos; };
    bar.button(QStringLiteral("撤销"))->click();
    EXPECT_EQ(undos, 1);
    bar.disableActions({QStringLiteral("长截图"), QStringLiteral("贴图")});
    EXPECT_FALSE(bar.button(QStringLiteral("长截图"))->isEnabled());
    EXPECT_TRUE(bar.button(QStringLiteral("保存"))->isEnabled());

    double size = 0;
    bar.onFontSize = [&](double s) { size = s; };
    bar.fontSizeField()->setText(QStringLiteral("32"));
    Q_EMIT bar.fontSizeField()->editingFinished();
    EXPECT_EQ(size, 32);
}

TEST(AnnotationToolbar, CopiedFlashReturnsAfterAMoment) {
    AnnotationToolbar bar(4000);
    QToolButton* copy = bar.button(QStringLiteral("复制"));
    bar.flashCopied();
    EXPECT_EQ(copy->accessibleName(), QStringLiteral("已复制"));
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(waitFor([copy] { return copy->accessibleName() == QStringLiteral("复制"); }));
    EXPECT_GE(t.elapsed(), 1100);
}

TEST(AnnotationToolbar, EveryIconHasInk) {
    for (const char* name : {"move", "select", "rectangle", "arrow", "pen", "text", "ellipse",
                             "blur", "number", "highlight", "ocr", "longcapture", "undo", "redo",
                             "pin", "save", "close", "copy", "copied"}) {
        const QImage image = toolbarIcon(QString::fromLatin1(name)).pixmap(QSize(20, 20)).toImage();
        int ink = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ink += qAlpha(image.pixel(x, y)) > 0;
        EXPECT_GT(ink, 10) << name;
    }
}

// Each capture builds a new toolbar; its icons must be the same icons as the
// last one's, or Qt's pixmap cache gathers a rendered copy per capture.
TEST(AnnotationToolbar, IconsAreMadeOncePerLook) {
    EXPECT_EQ(toolbarIcon(QStringLiteral("pin")).cacheKey(),
              toolbarIcon(QStringLiteral("pin")).cacheKey());
    EXPECT_NE(toolbarIcon(QStringLiteral("pin")).cacheKey(),
              toolbarIcon(QStringLiteral("pin"), Qt::red).cacheKey());
    EXPECT_NE(toolbarIcon(QStringLiteral("pin")).cacheKey(),
              toolbarIcon(QStringLiteral("save")).cacheKey());
    EXPECT_EQ(mosaicIcon().cacheKey(), mosaicIcon().cacheKey());
}
