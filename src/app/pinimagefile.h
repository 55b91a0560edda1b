#pragma once

#include <QByteArray>
#include <QString>

#include <variant>

namespace korvel {

// Limits of an image pinned from the command line: X windows stop at 32767
// pixels a side, and 64 megapixels keep the decoded image within 256 MiB.
inline constexpr int maximumPinSide = 32767;
inline constexpr qint64 maximumPinPixels = 64LL * 1024 * 1024;

// The image file of "--pin FILE" as PNG bytes (the file's own bytes when it
// is a PNG), or a sentence saying why it cannot be pinned. The header's size
// is checked before anything is decoded.
std::variant<QByteArray, QString> readPinImage(const QString& path);

} // namespace korvel
