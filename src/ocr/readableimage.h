#pragma once

#include <QImage>
#include <QRect>

#include <vector>

namespace korvel {

// A grey image of `image` in which all text is dark on white: each pixel is
// its distance from the ground around it, so light text on dark rows,
// buttons or whole terminals reads like dark text on white, and faint
// (greyed) text is darkened towards the contrast of the text near it. Dark
// text on a white ground passes unchanged; flat grounds, frames and rules
// turn white. `textHeight` is the typical height of the text rows in pixels.
QImage readableImage(const QImage& image, int textHeight);

// The blocks of text of a readable image: the image is cut wherever a blank
// gutter crosses a whole block, between columns (a sidebar and its page, the
// items of a menu and their shortcuts) at gaps of 1.5 text heights, and
// between rows at gaps of a text height. Top to bottom, left to right within
// a cut; empty when the image holds no ink, the whole image when it falls
// into hundreds of crumbs (a picture).
std::vector<QRect> textBlocks(const QImage& readable, int textHeight);

} // namespace korvel
