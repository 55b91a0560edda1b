#pragma once

#include "platform/pngcheck.h"

#include <QString>

#include <variant>

namespace korvel {

// X windows stop at 32767 pixels a side.
inline constexpr int maximumPinSide = 32767;

// The PNG file of "--pin FILE" or "--edit FILE", checked but not decoded (the
// running instance decodes it), or a sentence saying why it cannot be used.
std::variant<PngFile, QString> readPinImage(const QString& path);

} // namespace korvel
