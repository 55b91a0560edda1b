#include "screenshotexport.h"

#include "history/screenshothistory.h"
#include "platform/atomicfile.h"
#include "platform/clipboard.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>

namespace korvel::ScreenshotExport {
namespace {

const QString lastDirectoryKey = QStringLiteral("lastSaveDirectory");

bool isPng(const QString& path) {
    return QFileInfo(path).suffix().compare(QStringLiteral("png"), Qt::CaseInsensitive) == 0;
}

// Only PNG bytes are ever written, so the name says so: "a.jpg" becomes
// "a.jpg.png" before the dialog asks about replacing a file, so that the
// question is about the file that will be written.
class SavePanel final : public QFileDialog {
public:
    void accept() override {
        const QStringList files = selectedFiles();
        if (!files.isEmpty() && !isPng(files.front())) {
            // selectFile leaves the name field alone while it has the focus.
            auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (name && !name->text().isEmpty())
                name->setText(name->text() + QStringLiteral(".png"));
            else
                selectFile(files.front() + QStringLiteral(".png"));
        }
        QFileDialog::accept();
    }
};

// The folder of the last save while it exists, else the user's pictures
// folder (XDG), else the home folder.
QString initialDirectory() {
    for (const QString& candidate :
         {QSettings().value(lastDirectoryKey).toString(),
          QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)}) {
        if (!candidate.isEmpty() && QFileInfo::exists(candidate))
            return candidate;
    }
    return QDir::homePath();
}

} // namespace

QString proposedFileName(qint64 unixSeconds) {
    return QStringLiteral("截图-%1.png").arg(unixSeconds);
}

std::unique_ptr<QFileDialog> savePanel() {
    auto dialog = std::make_unique<SavePanel>();
    // Our own dialog, so that the labels below are the ones shown.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setWindowTitle(QStringLiteral("保存截图"));
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("保存"));
    dialog->setLabelText(QFileDialog::FileName, QStringLiteral("文件名："));
    dialog->setNameFilter(QStringLiteral("PNG (*.png)"));
    dialog->setDefaultSuffix(QStringLiteral("png"));
    dialog->setDirectory(initialDirectory());
    dialog->selectFile(proposedFileName(QDateTime::currentSecsSinceEpoch()));
    return dialog;
}

std::optional<QString> writePng(const QByteArray& png, const QString& path) {
    if (auto error = writeFileAtomically(path, png))
        return QStringLiteral("保存失败：无法写入“%1”，%2。")
            .arg(QFileInfo(path).fileName(), *error);
    if (!QCoreApplication::arguments().contains(QStringLiteral("--self-test")))
        QSettings().setValue(lastDirectoryKey, QFileInfo(path).absolutePath());
    return std::nullopt;
}

bool copy(const QByteArray& png, ScreenshotHistory& history) {
    if (!Clipboard::copyPng(png))
        return false;
    history.record(png);
    return true;
}

std::optional<QString> save(const QByteArray& png, const QString& path,
                            ScreenshotHistory& history) {
    if (auto error = writePng(png, path))
        return error;
    history.record(png);
    return std::nullopt;
}

} // namespace korvel::ScreenshotExport
