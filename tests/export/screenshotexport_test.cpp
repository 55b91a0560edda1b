#include "../testpng.h"
#include "export/screenshotexport.h"
#include "history/screenshothistory.h"

#include <gtest/gtest.h>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>

using namespace korvel;

TEST(ScreenshotExport, ThePanelProposesATimedNameInTheLastFolderWhileItExists) {
    EXPECT_EQ(ScreenshotExport::proposedFileName(1733000000),
              QStringLiteral("截图-1733000000.png"));
    auto panel = ScreenshotExport::savePanel();
    EXPECT_EQ(panel->defaultSuffix(), QStringLiteral("png"));
    EXPECT_TRUE(QFileInfo(panel->selectedFiles().value(0)).fileName().startsWith(u"截图-"));

    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("shots"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QByteArray png("\x89PNG fake bytes", 15);
    const auto shown = [] {
        return QDir(ScreenshotExport::savePanel()->directory()).absolutePath();
    };
    EXPECT_FALSE(ScreenshotExport::writePng(png, QDir(folder).filePath(QStringLiteral("a.png"))));
    EXPECT_EQ(shown(), folder);
    // A failed write says why in the user's words and remembers nothing.
    EXPECT_EQ(ScreenshotExport::writePng(png, dir.filePath(QStringLiteral("gone/b.png"))),
              QStringLiteral("保存失败：无法写入“b.png”，文件夹不存在。"));
    EXPECT_EQ(shown(), folder);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_NE(shown(), folder);
}

TEST(ScreenshotExport, CopiesAndSavesAreRecordedOnlyWhenTheyHappen) {
    QTemporaryDir dir;
    QSettings().setValue(QStringLiteral("historyEnabled"), true);
    ScreenshotHistory history(dir.filePath(QStringLiteral("History")),
                              [] { return std::make_unique<QSettings>(); });
    const QByteArray png = filledPng(QSize(40, 30), Qt::darkCyan);
    EXPECT_FALSE(ScreenshotExport::copy(QByteArray("not a png"), history));
    EXPECT_TRUE(ScreenshotExport::copy(png, history));
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("image/png")), png);
    const QByteArray other = filledPng(QSize(40, 30), Qt::darkRed);
    EXPECT_TRUE(ScreenshotExport::save(other, dir.filePath(QStringLiteral("none/x.png")), history));
    history.waitForIdle();
    EXPECT_EQ(history.entries().size(), 1); // the copy, not the failed save
}
