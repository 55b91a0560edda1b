#include "selectionchrome.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace korvel {
namespace {

QFont badgeFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(12);
    font.setWeight(QFont::Medium);
    return font;
}

} // namespace

void drawSelectionBorder(QPainter& painter, const QRectF& r) {
    const double scale = std::max(
        std::abs(painter.worldTransform().m11()) * painter.device()->devicePixelRatioF(), 1.0);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(selectionBorderColor(), 3));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(selectionStrokeRect(r, scale));
    painter.restore();
}

void drawSelectionHandles(QPainter& painter, const QRectF& r) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (SelectionHandle h : resizeHandles) {
        const bool corner = isCorner(h);
        if (corner ? (r.width() < 24 || r.height() < 24) : (r.width() < 12 || r.height() < 12))
            continue;
        const double radius = corner ? 3 : 2;
        // Widget rectangles are y down; the anchors are symmetric, so the
        // flip of top and bottom does not matter for the dots themselves.
        const QPointF c = handlePoint(h, r);
        painter.setBrush(selectionBorderColor());
        painter.drawEllipse(c, radius + 1, radius + 1);
        painter.setBrush(Qt::white);
        painter.drawEllipse(c, radius, radius);
    }
    painter.restore();
}

SelectionChrome::SelectionChrome(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
}

QPointF SelectionChrome::local(QPointF w) const {
    return QPointF(w.x(), height() - w.y());
}

QRectF SelectionChrome::toWidget(const QRectF& r) const {
    return QRectF(r.x(), height() - (r.y() + r.height()), r.width(), r.height());
}

void SelectionChrome::setSelection(const QRectF& selection) {
    selection_ = selection;
    updateMask();
    update();
}

void SelectionChrome::setMoving(bool moving) {
    moving_ = moving;
    updateMask();
}

std::optional<SelectionHandle> SelectionChrome::handle(QPointF point) const {
    if (!QRectF(QPointF(0, 0), QSizeF(size())).contains(point))
        return std::nullopt;
    return handleAt(selection_, point, moving_);
}

// The mouse reaches this widget only inside its mask: the handles, the edge
// bands and, when moving, the interior. The border is inside it too, so it
// paints.
void SelectionChrome::updateMask() {
    const QRectF s = toWidget(selection_);
    QRegion region(s.adjusted(-7, -7, 7, 7).toAlignedRect());
    if (!moving_)
        region -= QRegion(s.adjusted(5, 5, -5, -5).toAlignedRect());
    setMask(region);
}

void SelectionChrome::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF r = toWidget(selection_);
    drawSelectionBorder(painter, r);
    drawSelectionHandles(painter, r);
}

void SelectionChrome::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return event->ignore();
    const QPointF p = local(event->position());
    const auto h = handle(p);
    if (!h)
        return event->ignore();
    drag_ = Drag{*h, p, selection_};
    if (onAdjustingChanged)
        onAdjustingChanged(true);
    setCursor(*h == SelectionHandle::move ? Qt::ClosedHandCursor : handleCursor(*h));
}

void SelectionChrome::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !handle(local(event->position())))
        return event->ignore();
    drag_.reset();
    if (onCopy)
        onCopy();
}

void SelectionChrome::dragTo(QPointF w, bool shift) {
    if (!drag_)
        return;
    const QRectF bounds(QPointF(0, 0), QSizeF(size()));
    const QRectF next =
        adjusted(drag_->handle, drag_->rect, local(w) - drag_->start, bounds, shift);
    if (onChange)
        onChange(next);
}

void SelectionChrome::mouseMoveEvent(QMouseEvent* event) {
    if (drag_) {
        setCursor(drag_->handle == SelectionHandle::move ? Qt::ClosedHandCursor
                                                         : handleCursor(drag_->handle));
        dragTo(event->position(), event->modifiers() & Qt::ShiftModifier);
        return;
    }
    updateCursor(event->position());
}

void SelectionChrome::mouseReleaseEvent(QMouseEvent* event) {
    dragTo(event->position(), event->modifiers() & Qt::ShiftModifier);
    if (drag_ && onAdjustingChanged)
        onAdjustingChanged(false);
    drag_.reset();
    updateCursor(event->position());
}

void SelectionChrome::updateCursor(QPointF w) {
    const auto h = handle(local(w));
    setCursor(h ? handleCursor(*h) : Qt::ArrowCursor);
}

void SelectionChrome::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateMask();
}

SelectionSizeBadge::SelectionSizeBadge(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

void SelectionSizeBadge::update(std::optional<QRectF> selection, QSizeF screen, QSize image,
                                const QRectF& bounds) {
    if (!selection) {
        hide();
        return;
    }
    setAttribute(Qt::WA_TransparentForMouseEvents, !onEdit);
    setCursor(onEdit ? Qt::PointingHandCursor : Qt::ArrowCursor);
    text_ = sizeBadgeText(*selection, screen, image);
    const QRectF frame =
        sizeBadgeFrame(QFontMetricsF(badgeFont()).horizontalAdvance(text_), *selection, bounds);
    // Display-local (y up) to the parent's widget coordinates.
    const double parentHeight = parentWidget() ? parentWidget()->height() : bounds.height();
    setGeometry(QRectF(frame.x(), parentHeight - (frame.y() + frame.height()), frame.width(),
                       frame.height())
                    .toAlignedRect());
    show();
    QWidget::update();
}

void SelectionSizeBadge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(selectionBorderColor());
    painter.drawRoundedRect(QRectF(rect()), 12, 12);
    painter.setPen(Qt::white);
    painter.setFont(badgeFont());
    painter.drawText(QRectF(rect()).adjusted(10, 5, 0, 0), Qt::AlignLeft | Qt::AlignTop, text_);
}

void SelectionSizeBadge::mousePressEvent(QMouseEvent* event) {
    if (onEdit)
        onEdit();
    else
        event->ignore();
}

} // namespace korvel
