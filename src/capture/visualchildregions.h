#pragma once

#include <QImage>
#include <QRectF>
#include <QSizeF>

#include <vector>

namespace korvel {

// Panels, cards and panes inside a window, found from the frozen pixels
// alone: large, compact areas of near-uniform colour that enclose their own
// box and are set off by a visible edge. `window` and the result are
// display-local points; at most 256 rectangles, smallest first. Pure; safe on
// any thread.
std::vector<QRectF> visualChildRegions(const QImage& image, const QSizeF& screenSize,
                                       const QRectF& window);

} // namespace korvel
