#include "selectionview.h"

#include "childregionresolver.h"
#include "pixelmagnifier.h"
#include "selectionchrome.h"

#include <QLineF>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

#include <cmath>

namespace korvel {
namespace {

constexpr double dragThreshold = 3;    // points of travel that make a press a drag
constexpr double minimumSelection = 3; // points in each dimension

bool sameRect(const std::optional<QRectF>& a, const std::optional<QRectF>& b) {
    return a.has_value() == b.has_value() && (!a || *a == *b);
}

} // namespace

std::vector<QRectF> rectsOutside(const QRectF& bounds, const std::vector<QRectF>& excluded) {
    std::vector<QRectF> pieces{bounds};
    for (const QRectF& cut : excluded) {
        std::vector<QRectF> next;
        for (const QRectF& r : pieces) {
            const QRectF i = r.intersected(cut);
            if (i.isEmpty()) {
                next.push_back(r);
                continue;
            }
            const QRectF parts[] = {
                QRectF(r.left(), r.top(), r.width(), i.top() - r.top()),
                QRectF(r.left(), i.bottom(), r.width(), r.bottom() - i.bottom()),
                QRectF(r.left(), i.top(), i.left() - r.left(), i.height()),
                QRectF(i.right(), i.top(), r.right() - i.right(), i.height()),
            };
            for (const QRectF& part : parts) {
                if (!part.isEmpty())
                    next.push_back(part);
            }
        }
        pieces = std::move(next);
    }
    return pieces;
}

SelectionView::SelectionView(ScreenSnapshot snapshot, QWidget* parent)
    : QWidget(parent)
    , snapshot_(std::move(snapshot))
    , background_(snapshot_.image)
    , magnifier_(new PixelMagnifier(snapshot_.image, this))
    , sizeBadge_(new SelectionSizeBadge(this))
    , hoverWork_(this)
    , candidateWork_(this)
    , queryDelayWork_(this) {
    if (snapshot_.frame.width() > 0)
        background_.setDevicePixelRatio(background_.width() / snapshot_.frame.width());
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);
    resize(snapshot_.frame.size().toSize());
    // The loupe above the badge.
    magnifier_->raise();
    updateSelectionLayers();
}

SelectionView::~SelectionView() = default;

QPointF SelectionView::toLocal(QPointF w) const {
    const QSize image = snapshot_.image.size();
    const double sx = image.width() > 0 && width() > 0 ? double(image.width()) / width() : 1;
    const double sy = image.height() > 0 && height() > 0 ? double(image.height()) / height() : 1;
    // The slack keeps a position that is exactly a pixel's edge at a
    // fractional scale from landing on the pixel before it.
    const double column = std::floor(w.x() * sx + 1e-6);
    const double row = std::floor(w.y() * sy + 1e-6);
    return QPointF((column + 0.5) / sx, height() - (row + 0.5) / sy);
}

QRectF SelectionView::toWidget(const QRectF& r) const {
    return QRectF(r.x(), height() - r.y() - r.height(), r.width(), r.height());
}

QPointF SelectionView::clampedPixel(QPointF widgetPoint) const {
    return toLocal(QPointF(std::clamp(widgetPoint.x(), 0.0, std::max(0.0, width() - 1e-3)),
                           std::clamp(widgetPoint.y(), 0.0, std::max(0.0, height() - 1e-3))));
}

QPointF SelectionView::clamped(QPointF widgetPoint) const {
    const QPointF p(widgetPoint.x(), height() - widgetPoint.y());
    return QPointF(std::clamp(p.x(), 0.0, double(width())),
                   std::clamp(p.y(), 0.0, double(height())));
}

std::optional<int> SelectionView::windowAt(QPointF p) const {
    if (!containsPoint(bounds(), p))
        return std::nullopt;
    for (std::size_t i = 0; i < snapshot_.windows.size(); ++i) {
        if (containsPoint(snapshot_.windows[i], p))
            return int(i);
    }
    return std::nullopt;
}

QRectF SelectionView::hoveredWindowRect() const {
    return hoverWindowIndex_ ? snapshot_.windows[std::size_t(*hoverWindowIndex_)] : QRectF();
}

std::optional<QRectF> SelectionView::highlight() const {
    if (selection)
        return selection;
    if (!selected)
        return hoveredWindow_;
    return std::nullopt;
}

void SelectionView::setHovered(std::optional<QRectF> rect) {
    if (sameRect(hoveredWindow_, rect))
        return;
    hoveredWindow_ = rect;
    updateSelectionLayers();
}

void SelectionView::updateSelectionLayers() {
    const std::optional<QRectF> now = highlight();
    sizeBadge_->update(now, snapshot_.frame.size(), snapshot_.image.size(), bounds());
    if (sameRect(now, painted_) && selected == paintedSelected_)
        return;
    repaintChange(painted_, now);
    painted_ = now;
    paintedSelected_ = selected;
}

void SelectionView::repaintChange(const std::optional<QRectF>& before,
                                  const std::optional<QRectF>& after) {
    // Outside both rectangles the shade stays as it is; the border reaches a
    // little past each edge.
    QRectF dirty;
    for (const auto& r : {before, after}) {
        if (r)
            dirty |= toWidget(*r).adjusted(-4, -4, 4, 4);
    }
    if (!before || !after)
        dirty = before || after ? dirty : QRectF(rect());
    update(dirty.toAlignedRect());
}

void SelectionView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), background_);
    const std::optional<QRectF> lit = painted_;
    const QColor shade(0, 0, 0, 102);
    for (const QRectF& piece : rectsOutside(QRectF(rect()), {lit ? toWidget(*lit) : QRectF()}))
        painter.fillRect(piece, shade);
    if (lit && !paintedSelected_)
        drawSelectionBorder(painter, toWidget(*lit));
}

void SelectionView::resetSelection() {
    cancelAutomaticSelection();
    anchor_.reset();
    selectionDragged_ = false;
    hoverPoint_.reset();
    hoverWindowIndex_.reset();
    hoveredWindow_.reset();
    candidates_.clear();
    candidateIndex_ = 0;
    manuallySelectedCandidate_ = false;
    queryRetries_ = 0;
    selection.reset();
    selected = false;
    updateSelectionLayers();
    magnifier_->hide();
    updateCursorAreas();
}

// Pointer --------------------------------------------------------------------

void SelectionView::enterEvent(QEnterEvent* event) {
    hoverUpdate(toLocal(event->position()));
}

void SelectionView::leaveEvent(QEvent*) {
    exitReset();
}

void SelectionView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || selected)
        return;
    window()->raise();
    window()->activateWindow();
    // The press anchors a drag at the pointer's corner and takes what lies
    // under its pixel.
    const QPointF corner = clamped(event->position());
    const QPointF p = clampedPixel(event->position());
    cancelAutomaticSelection();
    anchor_ = corner;

    const std::optional<int> index = windowAt(p);
    const bool hoverHolds = hoveredWindow_ && containsPoint(*hoveredWindow_, p);
    QRectF take = bounds();
    if (index && index != hoverWindowIndex_)
        take = snapshot_.windows[std::size_t(*index)];
    else if (index)
        take = hoverHolds ? *hoveredWindow_ : snapshot_.windows[std::size_t(*index)];
    else if (!hoverWindowIndex_ && hoverHolds)
        take = *hoveredWindow_;
    setHovered(take);

    selectionDragged_ = false;
    selection = hoveredWindow_;
    updateSelectionLayers();
    updateCursorAreas();
}

void SelectionView::dragTo(QPointF widgetPoint) {
    if (selected || !anchor_)
        return;
    magnifier_->updateAt(clampedPixel(widgetPoint), bounds());
    const QPointF p = clamped(widgetPoint);
    if (!selectionDragged_ && QLineF(p, *anchor_).length() < dragThreshold)
        return;
    selectionDragged_ = true;
    setHovered(std::nullopt);
    selection = QRectF(QPointF(std::min(p.x(), anchor_->x()), std::min(p.y(), anchor_->y())),
                       QPointF(std::max(p.x(), anchor_->x()), std::max(p.y(), anchor_->y())));
    updateSelectionLayers();
    updateCursorAreas();
}

void SelectionView::mouseMoveEvent(QMouseEvent* event) {
    if (anchor_) {
        dragTo(event->position());
    } else if (selected) {
        const QPointF p = toLocal(event->position());
        const bool blocked = std::any_of(blockedCursorRects_.begin(), blockedCursorRects_.end(),
                                         [p](const QRectF& r) { return containsPoint(r, p); });
        setCursor(blocked ? Qt::ForbiddenCursor : Qt::ArrowCursor);
    } else {
        hoverUpdate(toLocal(event->position()));
    }
}

void SelectionView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || selected || !anchor_)
        return;
    dragTo(event->position());
    if (!selectionDragged_) {
        selection = hoveredWindow_;
        updateSelectionLayers();
        updateCursorAreas();
    }
    anchor_.reset();
    if (selection && selection->width() >= minimumSelection &&
        selection->height() >= minimumSelection) {
        selected = true;
        cancelAutomaticSelection();
        magnifier_->hide();
        updateSelectionLayers();
        if (onSelect)
            onSelect(*selection);
        return;
    }
    selection.reset();
    updateSelectionLayers();
    updateCursorAreas();
    hoverUpdate(toLocal(event->position()));
}

// Cursor areas ------------------------------------------------------------------

void SelectionView::setToolbar(QWidget* toolbar) {
    toolbar_ = toolbar;
    updateCursorAreas();
}

void SelectionView::updateCursorAreas() {
    if (!selected) {
        blockedCursorRects_.clear();
        setCursor(Qt::CrossCursor);
        return;
    }
    std::vector<QRectF> excluded;
    if (selection)
        excluded.push_back(selection->adjusted(-8, -8, 8, 8));
    for (QObject* child : children()) {
        auto* w = qobject_cast<QWidget*>(child);
        const bool counts =
            w && w->isVisible() && (w == toolbar_ || (w == sizeBadge_ && sizeBadge_->onEdit));
        if (counts)
            excluded.push_back(toWidget(QRectF(w->geometry()))); // the flip is its own inverse
    }
    blockedCursorRects_ = rectsOutside(bounds(), excluded);
    setCursor(Qt::ArrowCursor);
}

} // namespace korvel
