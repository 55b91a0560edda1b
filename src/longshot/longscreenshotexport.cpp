// What a long capture hands out: the stitched image copied, pinned, saved,
// cropped at its ends or passed on for editing.
#include "longscreenshot.h"

#include "export/pngencoder.h"
#include "export/screenshotexport.h"
#include "history/screenshothistory.h"
#include "longcapturecrop.h"
#include "longcapturepanels.h"

#include <QFileDialog>
#include <QLineEdit>

namespace korvel {

// Results -------------------------------------------------------------------------------

void LongScreenshot::readResult(std::function<void(const QImage&)> then, bool whole) {
    if (closed_)
        return;
    if (!stitcher_) {
        setStatus(QStringLiteral("正在准备画面，请稍候。"));
        return;
    }
    if (!captureFailed_)
        setPaused(true);
    if (services_.keys)
        services_.keys->stop();
    if (stream_)
        stream_->flush();
    // Frames already queued still belong to the image: let the loop finish
    // them, then read.
    reader_.disconnect();
    connect(&reader_, &QTimer::timeout, this, [this, whole, then = std::move(then)] {
        if (processing_ || (stream_ && stream_->queuedCount() > 0 && !captureFailed_)) {
            schedule(0);
            return;
        }
        reader_.stop();
        std::optional<QImage> image = stitcher_ ? stitcher_->image() : std::nullopt;
        if (image && !whole)
            image = cropEdges_.apply(*image);
        if (image && !whole)
            image = restore(axis_, *image);
        if (!image) {
            setStatus(QStringLiteral("还没有可导出的画面，请稍候。"));
        } else {
            then(*image);
        }
        if (!closed_ && services_.keys)
            services_.keys->start(sourcePid_);
    });
    reader_.start();
}

std::optional<QByteArray> LongScreenshot::png(const QImage& image) {
    return encodePng(image);
}

void LongScreenshot::copyCurrent() {
    readResult([this](const QImage& image) {
        const std::optional<QByteArray> data = png(image);
        if (data && services_.history && ScreenshotExport::copy(*data, *services_.history))
            close();
    });
}

void LongScreenshot::pinCurrent() {
    readResult([this](const QImage& image) {
        const std::optional<QByteArray> data = png(image);
        if (data && onPin && onPin(*data)) {
            if (services_.history)
                services_.history->record(*data);
            close();
            return;
        }
        setStatus(QStringLiteral("无法创建贴图，已有内容保留。"));
    });
}

void LongScreenshot::saveCurrent() {
    readResult([this](const QImage& image) {
        std::unique_ptr<QFileDialog> panel = ScreenshotExport::savePanel();
        const int accepted = services_.runModal ? services_.runModal(*panel) : panel->exec();
        if (accepted != QDialog::Accepted || panel->selectedFiles().isEmpty()) {
            if (!closed_)
                services_.windows->activate(sourceWindow_);
            return;
        }
        const std::optional<QByteArray> data = png(image);
        if (!data)
            return;
        const QString path = panel->selectedFiles().front();
        const std::optional<QString> error =
            services_.history ? ScreenshotExport::save(*data, path, *services_.history)
                              : ScreenshotExport::writePng(*data, path);
        if (!error) {
            close();
            return;
        }
        setStatus(*error);
        services_.windows->activate(sourceWindow_);
    });
}

void LongScreenshot::cropCurrent() {
    if (closed_ || !stitcher_)
        return;
    readResult(
        [this](const QImage& image) {
            LongCaptureCropSheet sheet(image, axis_, cropEdges_);
            const int choice = services_.runModal ? services_.runModal(sheet) : sheet.exec();
            if (choice == LongCaptureCropSheet::apply) {
                if (const auto crop = cropFromFields(sheet.leadingField()->text(),
                                                     sheet.trailingField()->text(), image.height()))
                    cropEdges_ = *crop;
                else
                    setStatus(QStringLiteral("裁剪值无效，已保留原图。"));
            } else if (choice == LongCaptureCropSheet::restoreFull) {
                cropEdges_ = {};
            }
            if (closed_)
                return;
            refreshPreview(true);
            services_.windows->activate(sourceWindow_);
        },
        true);
}

void LongScreenshot::finishCapture() {
    readResult([this](const QImage& image) {
        if (onFinish)
            onFinish(image);
        close();
    });
}

} // namespace korvel
