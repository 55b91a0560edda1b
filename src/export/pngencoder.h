#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

namespace korvel {

// Lossless PNG at the image's exact pixel size. Opaque images are written
// as RGB, others as RGBA with straight alpha. Tuned for screenshots: light
// deflate without row filters, which keeps flat UI areas as small as the
// filtered encoders do (within a few per cent) at a third of their time.
std::optional<QByteArray> encodePng(const QImage& image);

// Whether every pixel is fully opaque (always, for formats without alpha).
bool isOpaqueImage(const QImage& image);

} // namespace korvel
