#pragma once

#include <QBuffer>
#include <QColor>
#include <QImage>

// The image as PNG bytes, as a capture hands them on.
inline QByteArray pngOf(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

inline QByteArray filledPng(QSize size, const QColor& color) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return pngOf(image);
}
