#pragma once

#include <QImage>

namespace korvel {

// A grey image of `image` in which all text is dark on a light ground: each
// pixel is its distance from the background around it, so light text on dark
// rows, buttons or whole terminals reads like dark text on white, and faint
// (greyed) text is darkened up to the contrast of ordinary text. Dark text on
// a light ground passes through unchanged. `textHeight` is the typical height
// of the text rows in pixels.
QImage readableImage(const QImage& image, int textHeight);

} // namespace korvel
