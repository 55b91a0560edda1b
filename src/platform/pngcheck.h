#pragma once

#include <QImage>
#include <QSize>

class QByteArray;
class QIODevice;

namespace korvel {

// Whether a random-access device holds a PNG that ends properly and whose
// chunks all lie within it. The PNG decoder allocates and clears a chunk's
// declared length before reading it, so a few damaged bytes could otherwise
// cost gigabytes. Leaves the device's position as it was.
bool pngChunksFit(QIODevice* device);

// False only for data that starts like a PNG but fails the check above:
// other formats are left to their decoders.
bool soundIfPng(QIODevice* device);

// PNG bytes decoded only when the check above passes; null otherwise.
QImage decodedPng(const QByteArray& png);

// The size a PNG's header states, read without a decoder; invalid for
// anything else.
QSize pngHeaderSize(QIODevice* device);

} // namespace korvel
