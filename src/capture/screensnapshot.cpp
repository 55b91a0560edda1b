#include "screensnapshot.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvel {

DesktopLayout desktopLayout(const std::vector<Display>& displays, double scale) {
    DesktopLayout layout;
    layout.scale = std::isfinite(scale) && scale > 0 ? scale : 1.0;
    if (!displays.empty())
        layout.primaryOrigin = displays.front().geometry.topLeft();
    return layout;
}

QRectF globalTopLeft(const QRectF& rootRect, const DesktopLayout& layout) {
    const double s = layout.scale;
    return QRectF((rootRect.x() - layout.primaryOrigin.x()) / s,
                  (rootRect.y() - layout.primaryOrigin.y()) / s, rootRect.width() / s,
                  rootRect.height() / s);
}

QRectF displayFrame(const Display& display, const DesktopLayout& layout, double primaryTop) {
    const QRectF tl = globalTopLeft(QRectF(display.geometry), layout);
    return QRectF(tl.x(), primaryTop - (tl.y() + tl.height()), tl.width(), tl.height());
}

double primaryTop(const std::vector<Display>& displays, const DesktopLayout& layout) {
    if (displays.empty())
        return 0;
    // The primary display's bottom edge is y = 0 of the bottom-left space.
    return globalTopLeft(QRectF(displays.front().geometry), layout).height();
}

double displayScale(ScreenSource& screens, const std::vector<Display>& displays,
                    const DesktopLayout& layout, const QRectF& screen) {
    const double top = primaryTop(displays, layout);
    for (const Display& d : displays) {
        if (!d.geometry.isEmpty() && displayFrame(d, layout, top).contains(screen.center()))
            return layout.scale * (double(screens.pixelSize(d).width()) / d.geometry.width());
    }
    return layout.scale;
}

std::vector<WindowTarget> captureWindowTargets(const std::vector<WindowInfo>& windows,
                                               const DesktopLayout& layout, qint64 ownPid) {
    std::vector<WindowTarget> targets;
    for (const WindowInfo& w : windows) {
        if (w.pid && *w.pid == ownPid)
            continue;
        // Many X programs never say which process they belong to; they are
        // still windows to pick, only their accessibility tree is out of reach.
        const bool knownPid = w.pid && *w.pid >= 1 && *w.pid <= std::numeric_limits<qint32>::max();
        if (!w.layer || *w.layer != 0)
            continue;
        if (w.alpha && !(*w.alpha > 0))
            continue;
        if (!w.bounds)
            continue;
        const QRectF bounds = globalTopLeft(*w.bounds, layout);
        if (!(bounds.width() >= 30) || !(bounds.height() >= 30) || !std::isfinite(bounds.x()) ||
            !std::isfinite(bounds.y()))
            continue;
        targets.push_back({bounds, knownPid ? qint32(*w.pid) : 0});
    }
    return targets;
}

std::optional<QRectF> localWindowRect(const QRectF& rect, const QRectF& screen, double primaryTop) {
    const QRectF flipped(rect.x(), primaryTop - (rect.y() + rect.height()), rect.width(),
                         rect.height());
    const QRectF i = flipped.intersected(screen);
    if (i.isEmpty() || i.width() < 3 || i.height() < 3)
        return std::nullopt;
    return i.translated(-screen.x(), -screen.y());
}

QRect pixelCrop(const QRectF& rawSelection, const QSizeF& screenSize, const QSize& imageSize) {
    const QRectF selection = rawSelection.normalized();
    if (!(screenSize.width() > 0) || !(screenSize.height() > 0) || imageSize.isEmpty())
        return {};
    const double sx = imageSize.width() / screenSize.width();
    const double sy = imageSize.height() / screenSize.height();
    // Clamped in double first so that huge or non-finite selections cannot
    // overflow the integer conversion.
    auto clampX = [&](double v) { return std::clamp(v, 0.0, double(imageSize.width())); };
    auto clampY = [&](double v) { return std::clamp(v, 0.0, double(imageSize.height())); };
    const double minX = selection.x(), maxX = selection.x() + selection.width();
    const double minY = selection.y(), maxY = selection.y() + selection.height();
    if (!std::isfinite(minX) || !std::isfinite(maxX) || !std::isfinite(minY) ||
        !std::isfinite(maxY))
        return {};
    const int x0 = int(clampX(std::floor(minX * sx)));
    const int x1 = int(clampX(std::ceil(maxX * sx)));
    const int y0 = int(clampY(std::floor((screenSize.height() - maxY) * sy)));
    const int y1 = int(clampY(std::ceil((screenSize.height() - minY) * sy)));
    if (x1 <= x0 || y1 <= y0)
        return {};
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

} // namespace korvel
