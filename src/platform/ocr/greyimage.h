#pragma once

#include <QImage>

namespace korvel::ocr {

// The image in 8-bit grey, transparent parts over white.
QImage greyOverWhite(const QImage& image);

} // namespace korvel::ocr
