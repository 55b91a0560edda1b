#pragma once

// PNG files built byte by byte, sound or hostile, for the tests of the PNG
// check and of everything that reads images from outside.
#include <QByteArray>
#include <QtEndian>
#include <zlib.h>

namespace pngbytes {

inline QByteArray chunk(const char* type, const QByteArray& data) {
    QByteArray out(4, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(data.size()), out.data());
    const QByteArray body = QByteArray(type, 4) + data;
    QByteArray crc(4, Qt::Uninitialized);
    qToBigEndian<quint32>(
        quint32(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))),
        crc.data());
    return out + body + crc;
}

inline QByteArray header(quint32 width, quint32 height, int depth = 8, int colorType = 2,
                         int interlace = 0) {
    QByteArray data(13, 0);
    qToBigEndian<quint32>(width, data.data());
    qToBigEndian<quint32>(height, data.data() + 4);
    data[8] = char(depth);
    data[9] = char(colorType);
    data[12] = char(interlace);
    return chunk("IHDR", data);
}

inline QByteArray compressed(const QByteArray& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    compress(reinterpret_cast<Bytef*>(out.data()), &size,
             reinterpret_cast<const Bytef*>(raw.constData()), uLong(raw.size()));
    out.resize(qsizetype(size));
    return out;
}

inline QByteArray file(const QByteArray& ihdr, const QByteArray& idat) {
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + ihdr + chunk("IDAT", idat) + chunk("IEND", {});
}

// An 8-bit RGB image of `width` × `height` whose data inflates to `raw`
// bytes: the right size gives a sound image, others a damaged one.
inline QByteArray rgb(quint32 width, quint32 height, qint64 raw) {
    return file(header(width, height), compressed(QByteArray(raw, 0)));
}

// Image data that inflates to `inflated` bytes of zeros from about a
// thousandth of that: one compressed mebibyte of zeros, repeated. Each copy
// starts afresh (a full flush), so repeating it keeps the stream valid.
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
    const QByteArray start = run(zeros, Z_FULL_FLUSH); // with the zlib header
    const QByteArray copy = run(zeros, Z_FULL_FLUSH);
    const QByteArray end = run({}, Z_FINISH);
    deflateEnd(&z);
    QByteArray data = start;
    for (qint64 done = 2 << 20; done <= inflated; done += 1 << 20)
        data += copy;
    return file(header(width, height), data + end);
}

} // namespace pngbytes
