#include "screenshotexport.h"

#include "history/screenshothistory.h"
#include "platform/atomicfile.h"
#include "platform/clipboard.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QSettings>

namespace korvel::ScreenshotExport {
namespace {

const QString lastDirectoryKey = QStringLiteral("lastSaveDirectory");

} // namespace

QString proposedFileName(qint64 unixSeconds) {
    return QStringLiteral("截图-%1.png").arg(unixSeconds);
}

std::unique_ptr<QFileDialog> savePanel() {
    auto dialog = std::make_unique<QFileDialog>();
    // Our own dialog, so that the labels below are the ones shown.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setWindowTitle(QStringLiteral("保存截图"));
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("保存"));
    dialog->setLabelText(QFileDialog::FileName, QStringLiteral("文件名："));
    dialog->setNameFilter(QStringLiteral("PNG (*.png)"));
    dialog->setDefaultSuffix(QStringLiteral("png"));
    const QString last = QSettings().value(lastDirectoryKey).toString();
    if (!last.isEmpty() && QFileInfo::exists(last))
        dialog->setDirectory(last);
    dialog->selectFile(proposedFileName(QDateTime::currentSecsSinceEpoch()));
    return dialog;
}

std::optional<QString> writePng(const QByteArray& png, const QString& path) {
    if (auto error = writeFileAtomically(path, png))
        return error;
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
