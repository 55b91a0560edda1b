#include "selectionadjustment.h"

#include "screensnapshot.h"

#include <algorithm>
#include <cmath>

namespace korvel {

bool isCorner(SelectionHandle h) {
    return h == SelectionHandle::bottomLeft || h == SelectionHandle::bottomRight ||
           h == SelectionHandle::topRight || h == SelectionHandle::topLeft;
}

Qt::CursorShape handleCursor(SelectionHandle h) {
    switch (h) {
    case SelectionHandle::bottomLeft:
    case SelectionHandle::topRight:
        return Qt::SizeBDiagCursor;
    case SelectionHandle::bottomRight:
    case SelectionHandle::topLeft:
        return Qt::SizeFDiagCursor;
    case SelectionHandle::bottom:
    case SelectionHandle::top:
        return Qt::SizeVerCursor;
    case SelectionHandle::right:
    case SelectionHandle::left:
        return Qt::SizeHorCursor;
    case SelectionHandle::move:
        break;
    }
    return Qt::OpenHandCursor;
}

QPointF handlePoint(SelectionHandle h, const QRectF& r) {
    const double minX = r.x(), maxX = r.x() + r.width(), midX = r.x() + r.width() / 2;
    const double minY = r.y(), maxY = r.y() + r.height(), midY = r.y() + r.height() / 2;
    switch (h) {
    case SelectionHandle::bottomLeft:
        return {minX, minY};
    case SelectionHandle::bottom:
        return {midX, minY};
    case SelectionHandle::bottomRight:
        return {maxX, minY};
    case SelectionHandle::right:
        return {maxX, midY};
    case SelectionHandle::topRight:
        return {maxX, maxY};
    case SelectionHandle::top:
        return {midX, maxY};
    case SelectionHandle::topLeft:
        return {minX, maxY};
    case SelectionHandle::left:
        return {minX, midY};
    case SelectionHandle::move:
        break;
    }
    return {midX, midY};
}

namespace {

struct Edges {
    bool minX = false, maxX = false, minY = false, maxY = false;
};

Edges movedEdges(SelectionHandle h) {
    switch (h) {
    case SelectionHandle::bottomLeft:
        return {true, false, true, false};
    case SelectionHandle::bottom:
        return {false, false, true, false};
    case SelectionHandle::bottomRight:
        return {false, true, true, false};
    case SelectionHandle::right:
        return {false, true, false, false};
    case SelectionHandle::topRight:
        return {false, true, false, true};
    case SelectionHandle::top:
        return {false, false, false, true};
    case SelectionHandle::topLeft:
        return {true, false, false, true};
    case SelectionHandle::left:
        return {true, false, false, false};
    case SelectionHandle::move:
        break;
    }
    return {};
}

} // namespace

QRectF adjusted(SelectionHandle h, const QRectF& r, QPointF d, const QRectF& b,
                bool lockAspectRatio) {
    const double rMinX = r.x(), rMaxX = r.x() + r.width();
    const double rMinY = r.y(), rMaxY = r.y() + r.height();
    const double bMinX = b.x(), bMaxX = b.x() + b.width();
    const double bMinY = b.y(), bMaxY = b.y() + b.height();
    if (h == SelectionHandle::move) {
        // Clamped against the far edge first, so a selection larger than the
        // bounds sticks to their minimum edge.
        const double x = std::max(std::min(rMinX + d.x(), bMaxX - r.width()), bMinX);
        const double y = std::max(std::min(rMinY + d.y(), bMaxY - r.height()), bMinY);
        return QRectF(x, y, r.width(), r.height());
    }
    const Edges e = movedEdges(h);
    double minX = rMinX, maxX = rMaxX, minY = rMinY, maxY = rMaxY;
    if (e.minX)
        minX = std::min(std::max(rMinX + d.x(), bMinX), rMaxX - 3);
    if (e.maxX)
        maxX = std::max(std::min(rMaxX + d.x(), bMaxX), rMinX + 3);
    if (e.minY)
        minY = std::min(std::max(rMinY + d.y(), bMinY), rMaxY - 3);
    if (e.maxY)
        maxY = std::max(std::min(rMaxY + d.y(), bMaxY), rMinY + 3);

    if (lockAspectRatio && isCorner(h) && r.width() > 0 && r.height() > 0) {
        // The opposite corner stays; the scale is limited by the room toward
        // the dragged corner.
        double f = std::max((maxX - minX) / r.width(), (maxY - minY) / r.height());
        const double roomX = e.maxX ? bMaxX - rMinX : rMaxX - bMinX;
        const double roomY = e.maxY ? bMaxY - rMinY : rMaxY - bMinY;
        f = std::min({f, roomX / r.width(), roomY / r.height()});
        const double w = r.width() * f, hgt = r.height() * f;
        minX = e.maxX ? rMinX : rMaxX - w;
        maxX = minX + w;
        minY = e.maxY ? rMinY : rMaxY - hgt;
        maxY = minY + hgt;
    }
    return QRectF(minX, minY, maxX - minX, maxY - minY);
}

std::optional<SelectionHandle> handleAt(const QRectF& s, QPointF p, bool moving) {
    std::optional<SelectionHandle> best;
    double bestDistance = 0;
    for (SelectionHandle h : resizeHandles) {
        const QPointF a = handlePoint(h, s);
        if (std::abs(p.x() - a.x()) <= 7 && std::abs(p.y() - a.y()) <= 7) {
            const double distance = std::hypot(p.x() - a.x(), p.y() - a.y());
            if (!best || distance < bestDistance) {
                best = h;
                bestDistance = distance;
            }
        }
    }
    if (best)
        return best;
    const double minX = s.x(), maxX = s.x() + s.width(), minY = s.y(), maxY = s.y() + s.height();
    if (p.x() < minX - 5 || p.x() > maxX + 5 || p.y() < minY - 5 || p.y() > maxY + 5)
        return std::nullopt;
    if (std::abs(p.x() - minX) <= 5)
        return SelectionHandle::left;
    if (std::abs(p.x() - maxX) <= 5)
        return SelectionHandle::right;
    if (std::abs(p.y() - minY) <= 5)
        return SelectionHandle::bottom;
    if (std::abs(p.y() - maxY) <= 5)
        return SelectionHandle::top;
    if (moving && p.x() >= minX && p.x() <= maxX && p.y() >= minY && p.y() <= maxY)
        return SelectionHandle::move;
    return std::nullopt;
}

QRectF selectionStrokeRect(const QRectF& r, double scale) {
    const double s = std::max(std::isfinite(scale) ? scale : 1.0, 1.0);
    const long lineWidth = std::lround(3 * s);
    const double offset = lineWidth % 2 == 1 ? 0.5 / s : 0.0;
    auto edge = [&](double e) { return std::round(e * s) / s + offset; };
    const double x0 = edge(r.x()), x1 = edge(r.x() + r.width());
    const double y0 = edge(r.y()), y1 = edge(r.y() + r.height());
    return QRectF(x0, y0, x1 - x0, y1 - y0);
}

QRectF exactSelectionSize(QSizeF requested, const QRectF& selection, QSizeF screen, QSize image) {
    if (image.isEmpty() || screen.isEmpty())
        return selection;
    auto pixels = [](double v, int limit) {
        const double rounded = std::isfinite(v) ? std::round(v) : 1.0;
        return std::clamp(rounded, 1.0, double(limit));
    };
    const double w = pixels(requested.width(), image.width());
    const double h = pixels(requested.height(), image.height());
    const double width = screen.width() * w / image.width();
    const double height = screen.height() * h / image.height();
    return QRectF(std::min(screen.width() - width, selection.x()),
                  std::min(screen.height() - height, selection.y()), width, height);
}

QRectF toolbarFrame(QSizeF size, const QRectF& s, const QRectF& b) {
    const double w = size.width(), h = size.height();
    const double bMinY = b.y(), bMaxY = b.y() + b.height();
    double y = s.y() - h - 10;
    if (y < bMinY + 8)
        y = s.y() + s.height() + 10;
    if (y + h > bMaxY - 8)
        y = bMaxY - h - 8;
    y = std::max(y, bMinY + 8);
    const double x = std::min(std::max(b.x() + 8, b.x() + b.width() - w - 8),
                              std::max(b.x() + 8, s.x() + s.width() - w));
    return QRectF(x, y, w, h);
}

QString sizeBadgeText(const QRectF& selection, QSizeF screen, QSize image) {
    const QRect p = pixelCrop(selection, screen, image);
    return QStringLiteral("%1 × %2 px").arg(p.width()).arg(p.height());
}

QRectF sizeBadgeFrame(double textWidth, const QRectF& s, const QRectF& b) {
    const double width = std::ceil(textWidth) + 20, height = 24;
    const double bMinY = b.y(), bMaxY = b.y() + b.height();
    const double x =
        std::min(std::max(b.x() + 6, b.x() + b.width() - width - 6), std::max(b.x() + 6, s.x()));
    double y = s.y() + s.height() + 8;
    if (y + height > bMaxY - 6)
        y = s.y() - height - 8;
    if (y < bMinY + 6)
        y = std::max(bMinY + 6, s.y() + s.height() - height - 10);
    return QRectF(x, y, width, height);
}

} // namespace korvel
