#include "annotate/screenshotexport.h"
#include "history/screenshothistory.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QMimeData>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
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

// The user's pictures folder, as the desktop's user-dirs.dirs names it.
QString picturesFolder(const QTemporaryDir& dir) {
    const QString pictures = dir.filePath(QStringLiteral("Bilder"));
    QDir().mkpath(pictures);
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    QDir().mkpath(config);
    QFile dirs(config + QStringLiteral("/user-dirs.dirs"));
    if (!dirs.open(QIODevice::WriteOnly))
        return {};
    dirs.write("XDG_PICTURES_DIR=\"" + QFile::encodeName(pictures) + "\"\n");
    return pictures;
}

TEST(ScreenshotExport, SavesRememberTheFolderAndStaleFoldersAreIgnored) {
    QTemporaryDir dir;
    const QString pictures = picturesFolder(dir);
    QSettings().remove(QStringLiteral("lastSaveDirectory"));
    EXPECT_EQ(QDir(ScreenshotExport::savePanel()->directory()).absolutePath(), pictures);
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

    // A failed write says why in the user's words and remembers nothing.
    EXPECT_EQ(ScreenshotExport::writePng(png, dir.filePath(QStringLiteral("gone/b.png"))),
              QStringLiteral("保存失败：无法写入“b.png”，文件夹不存在。"));
    EXPECT_EQ(QSettings().value(QStringLiteral("lastSaveDirectory")).toString(), folder);

    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_EQ(QDir(ScreenshotExport::savePanel()->directory()).absolutePath(), pictures);
}

// Names typed into the dialog: only PNG is written, so the name ends in
// ".png" before the dialog asks about replacing a file.
struct TypedName {
    const char* typed;
    const char* chosen;
};
class ScreenshotExportNames : public ::testing::TestWithParam<TypedName> {};

TEST_P(ScreenshotExportNames, EndInPng) {
    QTemporaryDir dir;
    QSettings().setValue(QStringLiteral("lastSaveDirectory"), dir.path());
    auto panel = ScreenshotExport::savePanel();
    panel->show();
    auto* name = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_TRUE(name);
    name->setFocus();
    name->selectAll();
    for (const QChar c : QString::fromUtf8(GetParam().typed)) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, c);
        QApplication::sendEvent(name, &press);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(name, &enter);
    EXPECT_EQ(panel->result(), QDialog::Accepted);
    EXPECT_EQ(panel->selectedFiles(),
              QStringList(QDir(dir.path()).filePath(QString::fromUtf8(GetParam().chosen))));
}

INSTANTIATE_TEST_SUITE_P(Typed, ScreenshotExportNames,
                         ::testing::Values(TypedName{"shot.jpg", "shot.jpg.png"},
                                           TypedName{"shot", "shot.png"},
                                           TypedName{"shot.PNG", "shot.PNG"},
                                           TypedName{"图 1.tar.gz", "图 1.tar.gz.png"}));

TEST(ScreenshotExport, CopiesAndSavesAreRecordedOnlyWhenTheyHappen) {
    QTemporaryDir dir;
    QSettings().setValue(QStringLiteral("historyEnabled"), true);
    ScreenshotHistory history(dir.filePath(QStringLiteral("History")),
                              [] { return std::make_unique<QSettings>(); });
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");

    EXPECT_FALSE(ScreenshotExport::copy(QByteArray("not a png"), history));
    EXPECT_TRUE(ScreenshotExport::copy(png, history));
    history.waitForIdle();
    EXPECT_EQ(history.entries().size(), 1);
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("image/png")), png);

    EXPECT_TRUE(ScreenshotExport::save(png, dir.filePath(QStringLiteral("none/x.png")), history));
    EXPECT_FALSE(ScreenshotExport::save(png, dir.filePath(QStringLiteral("x.png")), history));
    history.waitForIdle();
    EXPECT_EQ(history.entries().size(), 1); // the same image again in a row
    QSettings().remove(QStringLiteral("historyEnabled"));
}
