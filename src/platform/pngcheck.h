#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <optional>
#include <variant>

class QByteArray;
class QIODevice;

namespace korvel {

// The largest image Korvel reads from outside: 64 megapixels keep a decoded
// image within 256 MiB.
inline constexpr qint64 maximumImagePixels = 64LL * 1024 * 1024;

enum class PngVerdict {
    sound,
    notPng,   // no PNG signature
    damaged,  // a chunk runs past the end, no end chunk, a bad header, or image
              // data that does not inflate to exactly what the header declares
    tooLarge, // more pixels than allowed
};

// Reads a PNG's structure without decoding pixels: the header, every chunk
// within the data, the end chunk, and the image data inflated (and thrown
// away) only as far as the header's size allows. The decoder allocates and
// clears a chunk's declared length before reading it, and inflates image
// data long past the declared size, so a few megabytes could otherwise cost
// gigabytes or minutes. Random-access devices only; the position is kept.
PngVerdict checkPng(QIODevice* device, qint64 maximumPixels = maximumImagePixels);

// The size a PNG's header states, read without a decoder; invalid for
// anything else.
QSize pngHeaderSize(QIODevice* device);

// PNG data decoded only when the check above passes; null otherwise.
QImage decodedPng(const QByteArray& png, qint64 maximumPixels = maximumImagePixels);

// Lets Qt's decoders allocate what the largest allowed image needs (its
// default stops near 33 megapixels). Called once per process.
void allowLargestImages();

// The largest PNG file read: a 64-megapixel image that hardly compresses.
inline constexpr qint64 maximumPngFileBytes = 257LL * 1024 * 1024;

// A PNG file read whole, once it is known to be a regular file (a FIFO or a
// device would block or never end) that passes the check.
struct PngFile {
    QByteArray bytes;
    QSize size;
};
struct PngFileFault {
    enum class Kind {
        missing,
        directory,
        notRegular,
        unreadable,
        empty,
        tooLong,
        notPng,
        damaged,
        tooLarge
    };
    Kind kind;
    QSize size;   // for tooLarge: what the header states
    QString text; // for unreadable: the system's reason
};
std::variant<PngFile, PngFileFault> readPngFile(const QString& path,
                                                qint64 maximumPixels = maximumImagePixels);
// The fault in a few English words, for command lines.
QString describe(const PngFileFault& fault);
// The same check of bytes already read (standard input, a hand-over).
std::variant<PngFile, PngFileFault> checkedPngBytes(QByteArray bytes,
                                                    qint64 maximumPixels = maximumImagePixels);
// Decodes a file that passed the check; null when the decoder still fails.
QImage decodedPng(const PngFile& file);

} // namespace korvel
