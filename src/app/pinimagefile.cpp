#include "pinimagefile.h"

#include "platform/pngcheck.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

namespace korvel {
namespace {

// Compressed images are far smaller than their pixels; a larger file is not
// a sensible screenshot.
constexpr qint64 maximumFileSize = 256LL * 1024 * 1024;

} // namespace

std::variant<QByteArray, QString> readPinImage(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("no such file");
    if (info.isDir())
        return QStringLiteral("is a directory");
    if (info.size() == 0)
        return QStringLiteral("the file is empty");
    if (info.size() > maximumFileSize)
        return QStringLiteral("the file is too large");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    const QByteArray bytes = file.read(maximumFileSize + 1);
    if (bytes.isEmpty())
        return QStringLiteral("the file cannot be read");

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    if (!soundIfPng(&buffer))
        return QStringLiteral("the image is damaged (a chunk runs past the end of the file)");
    QImageReader reader(&buffer);
    if (!reader.canRead())
        return QStringLiteral("not an image");
    const QSize size = reader.size();
    if (size.isEmpty())
        return QStringLiteral("the image has no size");
    if (size.width() > maximumPinSide || size.height() > maximumPinSide ||
        qint64(size.width()) * size.height() > maximumPinPixels)
        return QStringLiteral("the image is too large (%1 × %2)")
            .arg(size.width())
            .arg(size.height());
    const bool png = reader.format() == "png";
    const QImage image = reader.read();
    if (image.isNull() || image.size() != size)
        return QStringLiteral("the image is damaged (%1)").arg(reader.errorString());
    if (png)
        return bytes;
    QByteArray encoded;
    QBuffer out(&encoded);
    out.open(QIODevice::WriteOnly);
    if (!image.save(&out, "PNG"))
        return QStringLiteral("the image cannot be converted");
    return encoded;
}

} // namespace korvel
