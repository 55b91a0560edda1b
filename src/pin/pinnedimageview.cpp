#include "pinnedimageview.h"

#include "pingeometry.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace korvel {
namespace {

// Wheel travel in lines: an ordinary notch is 120 eighths of a degree and
// scrolls the desktop's usual number of lines; touchpads report pixels.
double wheelLines(const QWheelEvent& event) {
    QPoint angle = event.angleDelta();
    // With Alt held Qt turns vertical wheel motion into horizontal.
    if (angle.y() == 0 && (event.modifiers() & Qt::AltModifier))
        angle = QPoint(0, angle.x());
    if (!event.pixelDelta().isNull() && angle.y() == 0)
        return event.pixelDelta().y() / 10.0;
    return angle.y() / 120.0 * QApplication::wheelScrollLines();
}

} // namespace

PinnedImageView::PinnedImageView(QImage image, QWidget* parent)
    : QWidget(parent)
    , image_(std::move(image)) {
    setCursor(Qt::OpenHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, !image_.hasAlphaChannel());
    setToolTip(
        QStringLiteral("滚轮缩放 · 右键调透明度 · Alt+滚轮调透明度 · 双击恢复大小 · Esc 关闭"));
}

const QImage& PinnedImageView::reduced(const QSize& pixels) {
    if (reduced_.size() != pixels)
        reduced_ = image_.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return reduced_;
}

void PinnedImageView::setFramed(bool framed) {
    framed_ = framed;
    update();
}

void PinnedImageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintImage(painter);
    if (framed_) {
        // One device pixel wide, over the image's outermost pixels, so the
        // pin keeps its exact place and size.
        const double pixel = 1 / std::max(painter.device()->devicePixelRatioF(), 1.0);
        painter.setPen(QPen(QColor(59, 130, 246), pixel));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(pixel / 2, pixel / 2, -pixel / 2, -pixel / 2));
    }
}

void PinnedImageView::paintImage(QPainter& painter) {
    // Device pixels per point from the painter's own transform: it carries the
    // backing store's ratio, and also that of an image rendered into.
    const QTransform& device = painter.deviceTransform();
    const double ratio = std::max(std::hypot(device.m11(), device.m12()), 0.01);
    const QSize pixels(int(std::lround(width() * ratio)), int(std::lround(height() * ratio)));
    if (image_.isNull() || pixels.isEmpty())
        return;
    if (pixels.width() >= image_.width() && pixels.height() >= image_.height()) {
        // At 100 % and above every image pixel covers whole device pixels:
        // nearest neighbour keeps them sharp (and exact at 100 %).
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QRectF(rect()), image_);
        return;
    }
    QImage small = reduced(pixels);
    small.setDevicePixelRatio(ratio);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QPointF(0, 0), small);
}

void PinnedImageView::wheelEvent(QWheelEvent* event) {
    event->accept();
    const double lines = wheelLines(*event);
    if (lines == 0)
        return;
    if (event->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) {
        if (onOpacity)
            onOpacity(pin::wheelOpacityDelta(lines));
        return;
    }
    if (onZoom)
        onZoom(pin::wheelZoomFactor(lines), event->globalPosition());
}

void PinnedImageView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    window()->raise();
    window()->activateWindow();
    setFocus(Qt::MouseFocusReason);
    pressedAt_ = event->globalPosition().toPoint();
    windowAtPress_ = window()->pos();
    manualMove_ = false;
    event->accept();
}

void PinnedImageView::mouseMoveEvent(QMouseEvent* event) {
    if (!pressedAt_ || !(event->buttons() & Qt::LeftButton))
        return;
    const QPoint moved = event->globalPosition().toPoint() - *pressedAt_;
    if (manualMove_) {
        window()->move(windowAtPress_ + moved);
        return;
    }
    if (moved.manhattanLength() < QApplication::startDragDistance())
        return;
    setCursor(Qt::ClosedHandCursor);
    // The window manager moves the window where it can; elsewhere (no window
    // manager, offscreen) the view follows the pointer itself.
    QWindow* handle = window()->windowHandle();
    if (handle && handle->startSystemMove()) {
        pressedAt_.reset();
        setCursor(Qt::OpenHandCursor);
        return;
    }
    manualMove_ = true;
    window()->move(windowAtPress_ + moved);
}

void PinnedImageView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressedAt_.reset();
        manualMove_ = false;
        setCursor(Qt::OpenHandCursor);
    }
    QWidget::mouseReleaseEvent(event);
}

void PinnedImageView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    pressedAt_.reset();
    event->accept();
    if (onReset)
        onReset();
}

void PinnedImageView::keyPressEvent(QKeyEvent* event) {
    const bool control = (event->modifiers() & Qt::ControlModifier) != 0;
    if (event->key() == Qt::Key_Escape && onClose) {
        onClose();
    } else if (control && event->key() == Qt::Key_0 && onReset) {
        onReset();
    } else if (control && event->key() == Qt::Key_C && onCopy) {
        onCopy();
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void PinnedImageView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (onContextMenu)
        onContextMenu(event->globalPos());
}

} // namespace korvel
