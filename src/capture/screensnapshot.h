#pragma once

#include "platform/screensource.h"
#include "platform/windowlist.h"

#include <QImage>
#include <QPointF>
#include <QRectF>

#include <functional>
#include <optional>
#include <vector>

namespace korvel {

// Coordinate spaces of a capture:
//   global top-left     points, origin at the primary display's top-left, y down
//   global bottom-left  points, origin at the primary display's bottom-left, y up
//   display-local       points, origin at one display's bottom-left, y up
//   image pixels        origin at the snapshot image's top-left, y down

// Panels inside windows[index] around a display-local point, smallest first.
using ChildRegionQuery = std::function<std::vector<QRectF>(int index, QPointF point)>;

// One frozen display. The image is shared, so copies are cheap.
struct ScreenSnapshot {
    QRectF frame;                // global bottom-left points
    QImage image;                // native pixels; scale = image.width() / frame.width()
    std::vector<QRectF> windows; // display-local, front to back, clipped to the display
    ChildRegionQuery childRegions;
    // Where the display's top-left lies in Qt's global coordinates (logical
    // pixels from the root's origin), for placing windows on it.
    QPointF screenOrigin;
};

// A window that may become a hover target.
struct WindowTarget {
    QRectF bounds;  // global top-left points
    qint32 pid = 0; // 0 when the window names no process
};

// Where the primary display sits in the root window and how many device pixels
// make a point.
struct DesktopLayout {
    QPoint primaryOrigin; // root pixels
    double scale = 1.0;
};

DesktopLayout desktopLayout(const std::vector<Display>& displays, double scale);

// A root-pixel rectangle in global top-left points.
QRectF globalTopLeft(const QRectF& rootRect, const DesktopLayout& layout);

// A display's frame in global bottom-left points; primaryTop as below.
QRectF displayFrame(const Display& display, const DesktopLayout& layout, double primaryTop);

// maxY of the first display's frame in global bottom-left points; 0 without
// displays. With the primary display at the origin this is its height.
double primaryTop(const std::vector<Display>& displays, const DesktopLayout& layout);

// Device pixels per point in the grabs of the display whose frame (global
// bottom-left points) holds the centre of `screen`: the layout's scale, or
// more on a Wayland output of a higher scale than others.
double displayScale(ScreenSource& screens, const std::vector<Display>& displays,
                    const DesktopLayout& layout, const QRectF& screen);

std::vector<WindowTarget> captureWindowTargets(const std::vector<WindowInfo>& windows,
                                               const DesktopLayout& layout, qint64 ownPid);

// A global top-left rectangle in the display-local space of the display with
// frame `screen`; absent when less than 3 × 3 points of it lie on the display.
std::optional<QRectF> localWindowRect(const QRectF& rect, const QRectF& screen, double primaryTop);

// The one rule by which a display-local selection becomes whole image pixels:
// edges widen outward, the result is clipped to the image.
QRect pixelCrop(const QRectF& selection, const QSizeF& screenSize, const QSize& imageSize);

} // namespace korvel
