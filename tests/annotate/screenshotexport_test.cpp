#include "annotate/screenshotexport.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

using namespace korvel;

TEST(ScreenshotExport, ProposedNameAndPanelTexts) {
    EXPECT_EQ(ScreenshotExport::proposedFileName(1733000000),
              QStringLiteral("截图-1733000000.png"));
    QSettings().remove(QStringLiteral("lastSaveDirectory"));
    auto panel = ScreenshotExport::savePanel();
    EXPECT_EQ(panel->windowTitle(), QStringLiteral("保存截图"));
    EXPECT_EQ(panel->labelText(QFileDialog::Accept), QStringLiteral("保存"));
    EXPECT_EQ(panel->labelText(QFileDialog::FileName), QStringLiteral("文件名："));
    EXPECT_EQ(panel->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(panel->defaultSuffix(), QStringLiteral("png"));
    const QStringList selected = panel->selectedFiles();
    ASSERT_FALSE(selected.isEmpty());
    const QString name = QFileInfo(selected.front()).fileName();
    EXPECT_TRUE(name.startsWith(QStringLiteral("截图-")));
    EXPECT_TRUE(name.endsWith(QStringLiteral(".png")));
}

TEST(ScreenshotExport, SavesRememberTheFolderAndStaleFoldersAreIgnored) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("shots"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QByteArray png("\x89PNG fake bytes", 15);
    const QString path = QDir(folder).filePath(QStringLiteral("a.png"));
    EXPECT_FALSE(ScreenshotExport::writePng(png, path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), png);
    EXPECT_EQ(QSettings().value(QStringLiteral("lastSaveDirectory")).toString(), folder);
    EXPECT_EQ(QDir(ScreenshotExport::savePanel()->directory()).absolutePath(), folder);

    // A failed write reports and remembers nothing.
    EXPECT_TRUE(ScreenshotExport::writePng(png, dir.filePath(QStringLiteral("gone/b.png"))));
    EXPECT_EQ(QSettings().value(QStringLiteral("lastSaveDirectory")).toString(), folder);

    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_NE(QDir(ScreenshotExport::savePanel()->directory()).absolutePath(), folder);
}
