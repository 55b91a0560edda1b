#include "recognizecommand.h"

#include "platform/error.h"
#include "platform/pngcheck.h"
#include "textrecognition.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTextStream>

namespace korvel {
namespace {

// The most read from standard input: the largest image allowed, as
// uncompressed bitmap, and a margin.
constexpr qint64 maximumInputBytes = maximumImagePixels * 4 + (1 << 20);

std::variant<QImage, QString> decode(QIODevice& device) {
    // A damaged PNG never reaches the decoder; its header still tells an
    // oversized image from a broken one.
    const bool damagedPng = !soundIfPng(&device);
    QImageReader reader(&device);
    // The size comes from the header, before anything is allocated.
    const QSize size = damagedPng ? pngHeaderSize(&device) : reader.size();
    if (!damagedPng && !size.isValid() && !reader.canRead())
        return QStringLiteral("不是可识别的图像");
    if (size.isValid() && qint64(size.width()) * size.height() > maximumImagePixels) {
        return QStringLiteral("图像过大（%1 × %2 像素，上限 %3 万像素）")
            .arg(size.width())
            .arg(size.height())
            .arg(maximumImagePixels / 10000);
    }
    if (damagedPng)
        return QStringLiteral("图像数据损坏或不完整");
    // Enough for the largest image allowed above.
    reader.setAllocationLimit(int(maximumImagePixels * 4 / (qint64(1) << 20)) + 1);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return QStringLiteral("图像数据损坏或不完整");
    return image;
}

} // namespace

std::variant<QImage, QString> loadImage(const QString& path, QIODevice& standardInput) {
    if (path == QStringLiteral("-")) {
        QByteArray bytes = standardInput.read(maximumInputBytes + 1);
        if (bytes.size() > maximumInputBytes)
            return QStringLiteral("输入过大");
        if (bytes.isEmpty())
            return QStringLiteral("输入为空");
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        return decode(buffer);
    }
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("文件不存在");
    if (info.isDir())
        return QStringLiteral("这是一个文件夹，不是图像");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("无法读取文件");
    if (file.size() == 0)
        return QStringLiteral("文件为空");
    return decode(file);
}

int recognizeFiles(const QStringList& paths, QIODevice& standardInput, QTextStream& out,
                   QTextStream& err,
                   const std::function<std::unique_ptr<TextRecognizer>()>& engine) {
    if (paths.isEmpty()) {
        err << "korvel: --recognize 需要至少一个图像文件（\"-\" 表示标准输入）\n";
        err.flush();
        return 2;
    }
    // One recognition for all images, so the language data loads once.
    TextRecognition recognition(engine ? engine() : createTextRecognizer());
    int status = 0;
    bool first = true;
    for (const QString& path : paths) {
        std::variant<QImage, QString> loaded = loadImage(path, standardInput);
        if (const QString* reason = std::get_if<QString>(&loaded)) {
            err << "korvel: " << path << "：" << *reason << '\n';
            err.flush();
            status = 2;
            continue;
        }
        QString text;
        try {
            text = recognition.recognize(std::get<QImage>(loaded));
        } catch (const Error& e) {
            err << "korvel: " << path << "：识别失败：" << e.description() << '\n';
            err.flush();
            return 1;
        }
        if (!first)
            out << '\n';
        first = false;
        out << text << '\n';
        out.flush();
    }
    return status;
}

} // namespace korvel
