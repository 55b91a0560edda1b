#include "../testwait.h"
#include "annotate/annotationpreferences.h"
#include "annotate/annotationtoolbar.h"

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>

using namespace korvel;

namespace {

QStringList titlesOf(const AnnotationToolbar& bar, const QString& prefix) {
    QStringList titles;
    for (QToolButton* b : bar.findChildren<QToolButton*>())
        if (b->objectName().startsWith(prefix))
            titles << b->text();
    return titles;
}

QStringList words(const char* text) {
    return QString::fromUtf8(text).split(u' ');
}

// Written, then read by a fresh settings object as after a restart.
AnnotationPreferences roundTrip(const std::function<void(QSettings&)>& write) {
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("k.conf"));
    {
        QSettings settings(path, QSettings::IniFormat);
        write(settings);
    }
    QSettings fresh(path, QSettings::IniFormat);
    return AnnotationPreferences::load(fresh);
}

AnnotationPreferences stored(const QVariantList& values) {
    return roundTrip([&](QSettings& s) {
        const char* keys[] = {"annotationColor", "annotationWidth", "annotationFontSize",
                              "annotationMosaicMode"};
        for (int i = 0; i < values.size(); ++i)
            if (values[i].isValid())
                s.setValue(QLatin1String(keys[i]), values[i]);
    });
}

} // namespace

// Style buttons stay under the pointer whatever the tool; the row shows what it uses.
TEST(AnnotationToolbar, BothLayoutsKeepTheStyleButtonsPutAndShowWhatTheToolUses) {
    const std::tuple<const char*, bool, bool, const char*> tools[] = {
        // colours, font size, width label (privacy tools only)
        {"tool.text", true, true, ""},
        {"tool.mosaic", false, false, "笔刷大小"},
        {"tool.blur", false, false, "模糊强度"},
        {"tool.number", true, true, ""},
        {"tool.pen", true, false, ""}};
    for (const int available : {4000, 300}) {
        AnnotationToolbar bar(available);
        bar.show();
        EXPECT_EQ(bar.isCompact(), available == 300);
        EXPECT_EQ(titlesOf(bar, QStringLiteral("tool.")),
                  words("移动选区 选择标注 矩形 圆形 箭头 手绘 文字 马赛克 模糊 编号 高亮"));
        EXPECT_EQ(titlesOf(bar, QStringLiteral("action.")),
                  words("识别文字 长截图 撤销 重做 贴图 保存 关闭 复制"));
        const auto place = [&bar](const QWidget* w) {
            QCoreApplication::sendPostedEvents(); // the layouts, as before a repaint
            return w->isVisible() ? w->mapTo(&bar, QPoint()) : QPoint(-1, -1);
        };
        bar.selectTool(1);
        EXPECT_FALSE(bar.styleRow()->isVisible()); // select mode, nothing selected
        bar.button(QStringLiteral("tool.rectangle"))->click();
        const QPoint colours = place(bar.colorGroup()), widths = place(bar.widths()[0]);
        for (const auto& [tool, colour, font, label] : tools) {
            bar.button(QString::fromLatin1(tool))->click();
            EXPECT_EQ(place(bar.widths()[0]), widths) << tool;
            EXPECT_EQ(place(bar.colorGroup()), colour ? colours : QPoint(-1, -1)) << tool;
            EXPECT_EQ(bar.fontGroup()->isVisible(), font) << tool;
            EXPECT_EQ(bar.widthLabel()->isVisible() ? bar.widthLabel()->text() : QString(),
                      QString::fromUtf8(label))
                << tool;
        }
        bar.button(QStringLiteral("tool.mosaic"))->click();
        bar.button(QStringLiteral("框选"))->click(); // and the canvas: EditorTest's cursor test
        EXPECT_EQ(bar.widthLabel()->text(), QStringLiteral("颗粒大小"));
        bar.updateContext(Tool::number, std::nullopt); // a selected mark's tool wins
        EXPECT_TRUE(bar.fontGroup()->isVisible());
    }
    EXPECT_FALSE(toolForIndex(1));
    EXPECT_EQ(toolForIndex(10), Tool::highlight);
    EXPECT_FALSE(toolForIndex(11));
}

TEST(AnnotationToolbar, ShiftShortcutsStyleActionsTipsAndTheCopiedFlash) {
    AnnotationToolbar bar(4000);
    // Shift+$ and Shift+C: ResultTest and e2e.Capture.
    const auto press = [&bar](int key, Qt::KeyboardModifiers m, quint32 code = 0) {
        return bar.handleShortcut(QKeyEvent(QEvent::KeyPress, key, m, code, 0, 0));
    };
    EXPECT_TRUE(press(Qt::Key_unknown, Qt::ShiftModifier, 17)); // X key code 17: the 8 key
    EXPECT_EQ(bar.activeTool(), 5);
    EXPECT_FALSE(press(Qt::Key_Dollar, Qt::ShiftModifier | Qt::ControlModifier));
    EXPECT_FALSE(press(Qt::Key_4, Qt::NoModifier));
    EXPECT_FALSE(press(Qt::Key_At, Qt::ShiftModifier));

    bar.updateStyle(QColor(0, 122, 255), 6);
    EXPECT_TRUE(bar.button(QStringLiteral("蓝色"))->isChecked());
    EXPECT_TRUE(bar.button(QStringLiteral("粗线"))->isChecked());
    bar.updateStyle(QColor(1, 2, 3), 2);
    EXPECT_FALSE(bar.button(QStringLiteral("蓝色"))->isChecked());
    EXPECT_FALSE(bar.button(QStringLiteral("中线"))->isChecked());
    EXPECT_EQ(bar.button(QStringLiteral("识别文字"))->toolTip(),
              QStringLiteral("识别文字 · Shift+C 快速复制文字"));
    EXPECT_EQ(bar.button(QStringLiteral("撤销"))->toolTip(), QStringLiteral("撤销 · Ctrl+Z"));
    EXPECT_EQ(bar.button(QStringLiteral("复制"))->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
    double size = 0;
    bar.onFontSize = [&](double s) { size = s; };
    bar.fontSizeField()->setText(QStringLiteral("32"));
    Q_EMIT bar.fontSizeField()->editingFinished();
    EXPECT_EQ(size, 32);

    QToolButton* copy = bar.button(QStringLiteral("复制"));
    bar.flashCopied();
    EXPECT_EQ(copy->accessibleName(), QStringLiteral("已复制"));
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(waitFor([copy] { return copy->accessibleName() == QStringLiteral("复制"); }));
    EXPECT_GE(t.elapsed(), 1100);
}

// Icons made anew for each capture's toolbar would leave a copy each in Qt's pixmap cache.
TEST(AnnotationToolbar, EveryIconHasInkAndIsMadeOncePerLook) {
    for (const QString& name :
         words("move select rectangle arrow pen text ellipse blur number highlight ocr "
               "longcapture undo redo pin save close copy copied")) {
        const QImage image = toolbarIcon(name).pixmap(QSize(20, 20)).toImage();
        int ink = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ink += qAlpha(image.pixel(x, y)) > 0;
        EXPECT_GT(ink, 10) << name.toStdString();
    }
    const QString pin = QStringLiteral("pin");
    EXPECT_EQ(toolbarIcon(pin).cacheKey(), toolbarIcon(pin).cacheKey());
    EXPECT_NE(toolbarIcon(pin).cacheKey(), toolbarIcon(pin, Qt::red).cacheKey());
    EXPECT_NE(toolbarIcon(pin).cacheKey(), toolbarIcon(QStringLiteral("save")).cacheKey());
    EXPECT_EQ(mosaicIcon().cacheKey(), mosaicIcon().cacheKey());
}

// Each bad value falls back on its own; font sizes run from 10 to 96.
TEST(AnnotationPreferences, StyleSurvivesARestartAndBadValuesFallBackOneByOne) {
    const AnnotationPreferences style{QColor(0, 128, 255, 191), 6, 40, MosaicMode::rectangle};
    EXPECT_EQ(roundTrip([&](QSettings& s) { style.save(s); }), style);

    const AnnotationPreferences defaults;
    EXPECT_EQ(stored({}), defaults);
    EXPECT_EQ(stored({QVariantList{1.0, 0.0, 0.0}, 2.5, 120, 7}), defaults);
    EXPECT_EQ(stored({QStringLiteral("blue"), QStringLiteral("thick"), QStringLiteral("nan"),
                      QStringLiteral("1x")}),
              defaults);
    AnnotationPreferences thin;
    thin.width = 1.5;
    EXPECT_EQ(stored({QVariantList{QStringLiteral("a"), 0.0, 0.0, 1.0}, 1.5, 9.99}), thin);
    EXPECT_EQ(stored({QVariant(), QVariant(), 10}).fontSize, 10);
    EXPECT_EQ(stored({QVariant(), QVariant(), 96}).fontSize, 96);
}
