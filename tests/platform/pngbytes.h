#pragma once

// PNG files built byte by byte, sound or hostile, for tests of images from outside.
#include <QByteArray>
#include <QtEndian>
#include <zlib.h>

namespace pngbytes {

inline QByteArray chunk(const char* type, const QByteArray& data) {
    QByteArray out(4, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(data.size()), out.data());
    out += QByteArray(type, 4) + data;
    const auto* body = reinterpret_cast<const Bytef*>(out.constData() + 4);
    QByteArray crc(4, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(crc32(0, body, uInt(data.size() + 4))), crc.data());
    return out + crc;
}

inline QByteArray header(quint32 width, quint32 height, int depth = 8, int colorType = 2) {
    QByteArray data(13, 0);
    qToBigEndian<quint32>(width, data.data());
    qToBigEndian<quint32>(height, data.data() + 4);
    data[8] = char(depth);
    data[9] = char(colorType);
    return chunk("IHDR", data);
}

// A zlib stream: qCompress's, without the length it puts in front.
inline QByteArray compressed(const QByteArray& raw) {
    return qCompress(raw).mid(4);
}

inline QByteArray file(const QByteArray& ihdr, const QByteArray& idat) {
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + ihdr + chunk("IDAT", idat) + chunk("IEND", {});
}

// 8-bit RGB whose data inflates to `raw` bytes: sound only at height × (1 + 3 × width).
inline QByteArray rgb(quint32 width, quint32 height, qint64 raw) {
    return file(header(width, height), compressed(QByteArray(raw, 0)));
}

// Image data inflating to `inflated` bytes of zeros from about a thousandth of that: one
// compressed mebibyte, repeated; each copy starts afresh (a full flush), keeping the stream valid.
inline QByteArray bomb(quint32 width, quint32 height, qint64 inflated) {
    z_stream z{};
    deflateInit(&z, 9);
    const QByteArray zeros(1 << 20, 0);
    QByteArray piece(1 << 16, Qt::Uninitialized);
    auto run = [&](const QByteArray& in, int flush) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
        z.avail_in = uInt(in.size());
        z.next_out = reinterpret_cast<Bytef*>(piece.data());
        z.avail_out = uInt(piece.size());
        deflate(&z, flush);
        return piece.left(piece.size() - qsizetype(z.avail_out));
    };
    QByteArray data = run(zeros, Z_FULL_FLUSH); // with the zlib header
    const QByteArray copy = run(zeros, Z_FULL_FLUSH);
    for (qint64 done = 2 << 20; done <= inflated; done += 1 << 20)
        data += copy;
    data += run({}, Z_FINISH);
    deflateEnd(&z);
    return file(header(width, height), data);
}

} // namespace pngbytes
