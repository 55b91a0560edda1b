#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSizeF>

namespace korvel::pin {

// A pin never grows past four times its creation size.
inline constexpr double maximumZoom = 4.0;
// Points of a pin that stay on its screen, and the smallest side a pin may
// shrink to.
inline constexpr double minimumVisible = 32.0;
inline constexpr double minimumOpacity = 0.2;
inline constexpr double maximumOpacity = 1.0;

// z within [max(0.1, 32 ÷ smaller side), 4]; when that lower bound exceeds 4
// the zoom is 4. Callers drop values that are not finite first.
double clampZoom(double z, const QSizeF& originalSize);

// `current` resized to `size` so that the global point `anchor` keeps its
// place relative to the frame (the centre when zooming from the keyboard or
// the menu, the pointer when zooming with the wheel).
QRectF zoomedFrame(const QRectF& current, const QSizeF& size, const QPointF& anchor);

// The frame moved so that at least 32 points of it lie inside `visible`; the
// upper bound wins when the two bounds cross.
QRectF keepOnScreen(const QRectF& frame, const QRectF& visible);

// Window geometry is whole logical pixels: the origin rounds to the nearest
// pixel, the size too but never below one pixel.
QRect windowGeometry(const QRectF& frame);

double clampOpacity(double alpha);

// One wheel event: `lines` is the vertical scroll in lines (three per notch
// of an ordinary wheel), clamped to ±10.
double wheelZoomFactor(double lines);
double wheelOpacityDelta(double lines);

// The slider's value for an opacity: transparency in whole percent.
int transparencyPercent(double alpha);

} // namespace korvel::pin
