#include "pngcheck.h"

#include <QBuffer>
#include <QImageReader>
#include <QIODevice>
#include <QtEndian>

namespace korvel {
namespace {

const QByteArray signature = QByteArrayLiteral("\x89PNG\r\n\x1a\n");

} // namespace

bool pngChunksFit(QIODevice* device) {
    if (!device || !device->isOpen() || device->isSequential())
        return false;
    const qint64 start = device->pos();
    const qint64 size = device->size();
    bool fits = device->read(8) == signature;
    qint64 position = start + 8;
    bool ended = false;
    // Length, type, data, checksum.
    while (fits && !ended && device->seek(position)) {
        const QByteArray header = device->read(8);
        if (header.size() != 8)
            break;
        const qint64 length = qFromBigEndian<quint32>(header.constData());
        fits = length <= size - position - 12;
        position += 12 + length;
        ended = header.endsWith("IEND");
    }
    device->seek(start);
    return fits && ended;
}

bool soundIfPng(QIODevice* device) {
    if (!device || !device->isOpen())
        return false;
    if (device->peek(8) != signature)
        return true;
    return pngChunksFit(device);
}

QImage decodedPng(const QByteArray& png) {
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    if (!pngChunksFit(&buffer))
        return {};
    QImageReader reader(&buffer, "png");
    return reader.read();
}

QSize pngHeaderSize(QIODevice* device) {
    if (!device || !device->isOpen())
        return {};
    // Signature, then the first chunk: length 13, "IHDR", width, height.
    const QByteArray head = device->peek(24);
    if (head.size() != 24 || !head.startsWith(signature) || head.mid(12, 4) != "IHDR")
        return {};
    const quint32 width = qFromBigEndian<quint32>(head.constData() + 16);
    const quint32 height = qFromBigEndian<quint32>(head.constData() + 20);
    if (width < 1 || height < 1 || width > 0x7fffffff || height > 0x7fffffff)
        return {};
    return {int(width), int(height)};
}

} // namespace korvel
