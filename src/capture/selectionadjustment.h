#pragma once

#include <QColor>
#include <QRectF>
#include <QSize>
#include <QString>

#include <array>
#include <optional>

namespace korvel {

// Geometry is in display-local points (y up) unless pixels are named.

// The colour of every selection border, highlight and badge.
inline QColor selectionBorderColor() {
    return QColor(59, 130, 246);
}

// Iteration and tie-break order everywhere.
enum class SelectionHandle {
    bottomLeft,
    bottom,
    bottomRight,
    right,
    topRight,
    top,
    topLeft,
    left,
    move,
};

inline constexpr std::array<SelectionHandle, 8> resizeHandles = {
    SelectionHandle::bottomLeft, SelectionHandle::bottom,   SelectionHandle::bottomRight,
    SelectionHandle::right,      SelectionHandle::topRight, SelectionHandle::top,
    SelectionHandle::topLeft,    SelectionHandle::left,
};

bool isCorner(SelectionHandle handle);

// The resize cursor of a handle; the open hand for moving.
Qt::CursorShape handleCursor(SelectionHandle handle);

// The handle's anchor point on r.
QPointF handlePoint(SelectionHandle handle, const QRectF& r);

// r after dragging `handle` by delta, clamped to `bounds`; sides never cross
// and a dragged dimension never drops below 3 points. With the aspect lock a
// corner drag keeps r's shape against the opposite corner.
QRectF adjusted(SelectionHandle handle, const QRectF& r, QPointF delta, const QRectF& bounds,
                bool lockAspectRatio);

// The handle under p for the selection s: anchors within 7 points (nearest,
// then earlier), edge bands of 5, the interior when moving is allowed.
std::optional<SelectionHandle> handleAt(const QRectF& s, QPointF p, bool moving);

// A 3-point stroke's rectangle that lands on whole device pixels.
QRectF selectionStrokeRect(const QRectF& r, double scale);

// The selection for a typed size in pixels: keeps its bottom-left corner
// unless that would push it off the display.
QRectF exactSelectionSize(QSizeF requestedPixels, const QRectF& selection, QSizeF screen,
                          QSize image);

// Where the annotation toolbar of size `size` goes for selection s inside b.
QRectF toolbarFrame(QSizeF size, const QRectF& s, const QRectF& b);

// "1440 × 900 px" for a selection, by the crop rule of the snapshot.
QString sizeBadgeText(const QRectF& selection, QSizeF screen, QSize image);

// The badge's frame for its text width, selection s and overlay bounds b.
QRectF sizeBadgeFrame(double textWidth, const QRectF& s, const QRectF& b);

} // namespace korvel
