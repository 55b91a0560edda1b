#include "pingeometry.h"

#include <algorithm>
#include <cmath>

namespace korvel::pin {

double clampZoom(double z, const QSizeF& originalSize) {
    const double smaller = std::min(originalSize.width(), originalSize.height());
    const double lower = smaller > 0 ? std::max(0.1, minimumVisible / smaller) : 0.1;
    return std::min(std::max(z, lower), maximumZoom);
}

QRectF zoomedFrame(const QRectF& current, const QSizeF& size, const QPointF& anchor) {
    const double fx = current.width() > 0 ? (anchor.x() - current.x()) / current.width() : 0.5;
    const double fy = current.height() > 0 ? (anchor.y() - current.y()) / current.height() : 0.5;
    return {anchor.x() - fx * size.width(), anchor.y() - fy * size.height(), size.width(),
            size.height()};
}

QRectF keepOnScreen(const QRectF& frame, const QRectF& visible) {
    // std::clamp needs lo <= hi; here the upper bound simply wins.
    auto into = [](double v, double lo, double hi) { return std::min(std::max(v, lo), hi); };
    const double x = into(frame.x(), visible.x() - frame.width() + minimumVisible,
                          visible.x() + visible.width() - minimumVisible);
    const double y = into(frame.y(), visible.y() - frame.height() + minimumVisible,
                          visible.y() + visible.height() - minimumVisible);
    return {x, y, frame.width(), frame.height()};
}

QRect windowGeometry(const QRectF& frame) {
    auto whole = [](double v) { return int(std::clamp(std::round(v), -1'000'000.0, 1'000'000.0)); };
    return {whole(frame.x()), whole(frame.y()), std::max(1, whole(frame.width())),
            std::max(1, whole(frame.height()))};
}

double clampOpacity(double alpha) {
    return std::clamp(alpha, minimumOpacity, maximumOpacity);
}

double wheelZoomFactor(double lines) {
    return std::pow(1.03, std::clamp(lines, -10.0, 10.0));
}

double wheelOpacityDelta(double lines) {
    return std::clamp(lines, -10.0, 10.0) * 0.02;
}

int transparencyPercent(double alpha) {
    return int(std::lround((1.0 - clampOpacity(alpha)) * 100.0));
}

} // namespace korvel::pin
