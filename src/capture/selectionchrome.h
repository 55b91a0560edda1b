#pragma once

#include "selectionadjustment.h"

#include <QWidget>

#include <functional>
#include <optional>

namespace korvel {

// The border, handles and drag handling around a locked selection. It covers
// the overlay but takes the mouse only where a handle, an edge band or (when
// moving) the interior is, so every other click reaches the canvas below.
// Geometry is display-local (y up from the widget's bottom edge).
class SelectionChrome final : public QWidget {
public:
    explicit SelectionChrome(QWidget* parent = nullptr);

    QRectF selection() const { return selection_; }
    void setSelection(const QRectF& selection);
    void setMoving(bool moving);

    std::function<void(const QRectF&)> onChange;
    std::function<void(bool)> onAdjustingChanged;
    std::function<void()> onCopy;

    // The handle under a display-local point, as a press there would take it.
    std::optional<SelectionHandle> handle(QPointF point) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Drag {
        SelectionHandle handle;
        QPointF start;
        QRectF rect;
    };
    QPointF local(QPointF widgetPoint) const;
    QRectF toWidget(const QRectF& r) const;
    void dragTo(QPointF widgetPoint, bool shift);
    void updateMask();
    void updateCursor(QPointF widgetPoint);

    QRectF selection_;
    bool moving_ = true;
    std::optional<Drag> drag_;
};

// Draws the 3-point border and the handle dots of r (widget coordinates)
// with the painter's device scale taken into account.
void drawSelectionBorder(QPainter& painter, const QRectF& r);
void drawSelectionHandles(QPainter& painter, const QRectF& r);

// The "1440 × 900 px" label beside a selection.
class SelectionSizeBadge final : public QWidget {
public:
    explicit SelectionSizeBadge(QWidget* parent = nullptr);

    QString text() const { return text_; }
    // When set the badge takes clicks and calls it.
    std::function<void()> onEdit;

    // selection and bounds are display-local points of the parent overlay.
    void update(std::optional<QRectF> selection, QSizeF screen, QSize image, const QRectF& bounds);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString text_;
};

} // namespace korvel
