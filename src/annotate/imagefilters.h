#pragma once

#include <QImage>
#include <QRect>

#include <array>

namespace korvel {

// Both filters read the whole image and return only `area` (image pixels,
// clipped to the image) as a new image of the same format,
// Format_ARGB32_Premultiplied. An empty area gives a null image.

// Blocks of `block` × `block` pixels on a grid anchored at the image's
// top-left corner; each block takes the average of its pixels inside the
// image, so a tile looks the same whatever area it was cut from.
QImage pixellate(const QImage& image, const QRect& area, int block);

// Gaussian blur of standard deviation `sigma` pixels (three box passes each
// way), with the image's edge pixels repeated outwards: no dark or
// transparent fringe at the image border.
QImage gaussianBlur(const QImage& image, const QRect& area, double sigma);

// The three box radii whose passes approximate a Gaussian of `sigma`.
std::array<int, 3> boxRadiiForGaussian(double sigma);

} // namespace korvel
