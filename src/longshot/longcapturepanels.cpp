#include "longcapturepanels.h"

#include "capture/selectionadjustment.h"
#include "platform/windowhints.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace korvel {
namespace {

constexpr double ringGap = 5;

// Top-left rectangles to the y-up space the selection handles work in, and
// back: the flip is its own inverse.
QRectF flipped(const QRectF& r) {
    return QRectF(r.x(), -r.y() - r.height(), r.width(), r.height());
}

} // namespace

QRectF adjustedTopLeft(SelectionHandle handle, const QRectF& r, QPointF delta,
                       const QRectF& bounds) {
    return flipped(
        adjusted(handle, flipped(r), QPointF(delta.x(), -delta.y()), flipped(bounds), false));
}

LongCapturePanel::LongCapturePanel(QWidget* content)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(QStringLiteral("Korvel · 长截图"));
    if (content) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(content);
    }
}

// Preview -----------------------------------------------------------------------------

QRectF LongCapturePreview::imageRect() const {
    if (image.isNull() || image.width() < 1 || image.height() < 1)
        return {};
    const QRectF box = QRectF(rect()).adjusted(3, 3, -3, -3);
    const double scale = std::min(box.width() / image.width(), box.height() / image.height());
    const QSizeF size(image.width() * scale, image.height() * scale);
    return QRectF(box.x() + (box.width() - size.width()) / 2, box.y(), size.width(), size.height());
}

QRectF LongCapturePreview::viewportRect() const {
    const QRectF r = imageRect();
    if (r.isEmpty())
        return {};
    const double fraction = std::clamp(viewportFraction, 0.0, 1.0);
    if (horizontal) {
        const double w = std::max(3.0, r.width() * fraction);
        return QRectF(reverseDirection ? r.left() : r.right() - w, r.y(), w, r.height());
    }
    const double h = std::max(3.0, r.height() * fraction);
    return QRectF(r.x(), reverseDirection ? r.top() : r.bottom() - h, r.width(), h);
}

void LongCapturePreview::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor::fromRgbF(0.97f, 0.97f, 0.97f));
    const QRectF r = imageRect();
    if (r.isEmpty())
        return;
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(r, image);
    const QColor shade(0, 0, 0, 128);
    if (horizontal) {
        p.fillRect(QRectF(r.left(), r.top(), leadingCrop * r.width(), r.height()), shade);
        p.fillRect(QRectF(r.right() - trailingCrop * r.width(), r.top(), trailingCrop * r.width(),
                          r.height()),
                   shade);
    } else {
        p.fillRect(QRectF(r.left(), r.top(), r.width(), leadingCrop * r.height()), shade);
        p.fillRect(QRectF(r.left(), r.bottom() - trailingCrop * r.height(), r.width(),
                          trailingCrop * r.height()),
                   shade);
    }
    p.setPen(QPen(matched ? systemBlue() : QColor(255, 59, 48), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(viewportRect().adjusted(1, 1, -1, -1));
}

// Region frame ------------------------------------------------------------------------

LongCaptureRegionView::LongCaptureRegionView()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint)
    , onlyWithHandles_(compositorPlacesWindows()) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose, false);
    // A Wayland compositor takes the window's shape as what takes the
    // pointer, not as what is drawn: the inside must be see-through too.
    if (onlyWithHandles_)
        setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(QStringLiteral("Korvel · 长截图区域"));
}

void LongCaptureRegionView::follow() {
    setGeometry(globalRect.adjusted(-ringGap, -ringGap, ringGap, ringGap).toAlignedRect());
    updateMask();
    update();
}

void LongCaptureRegionView::setShowsHandles(bool shows) {
    if (shows == showsHandles_)
        return;
    showsHandles_ = shows;
    drag_.reset();
    updateMask();
    update();
    if (onlyWithHandles_)
        setVisible(wanted_);
}

void LongCaptureRegionView::setVisible(bool visible) {
    wanted_ = visible;
    QWidget::setVisible(visible && (showsHandles_ || !onlyWithHandles_));
}

void LongCaptureRegionView::updateMask() {
    // Without a compositor a window cannot be see-through: the shape keeps
    // only the ring (and, while paused, the handles) in the window, so the
    // region shows the application below and is never in its own frames.
    const QRect outer = rect();
    QRegion ring = QRegion(outer) - QRegion(outer.adjusted(ringGap, ringGap, -ringGap, -ringGap));
    if (showsHandles_) {
        const QRectF inner = QRectF(outer).adjusted(ringGap, ringGap, -ringGap, -ringGap);
        for (SelectionHandle h : resizeHandles) {
            const QPointF at = handlePoint(h, flipped(inner));
            const QPointF p(at.x(), -at.y());
            ring += QRect(QPoint(int(p.x()) - 5, int(p.y()) - 5), QSize(11, 11));
        }
    }
    setMask(ring);
}

void LongCaptureRegionView::showEvent(QShowEvent*) {
    // Qt on Wayland forgets a shape set before the window had a surface,
    // which it gets only once shown.
    QTimer::singleShot(0, this, [this] {
        const QRegion shape = mask();
        clearMask();
        setMask(shape);
    });
}

void LongCaptureRegionView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF inner = QRectF(rect()).adjusted(ringGap, ringGap, -ringGap, -ringGap);
    // The shape clips the drawing only where the window system applies it.
    p.setClipRegion(mask());
    p.fillRect(rect(), Qt::white);
    p.setPen(QPen(selectionBorderColor(), 3));
    p.drawRect(inner.adjusted(-1.5, -1.5, 1.5, 1.5));
    if (!showsHandles_)
        return;
    p.setPen(QPen(selectionBorderColor(), 1.5));
    p.setBrush(Qt::white);
    for (SelectionHandle h : resizeHandles) {
        const QPointF at = handlePoint(h, flipped(inner));
        p.drawEllipse(QPointF(at.x(), -at.y()), 4, 4);
    }
}

void LongCaptureRegionView::mousePressEvent(QMouseEvent* event) {
    if (!showsHandles_)
        return;
    const QRectF inner = QRectF(rect()).adjusted(ringGap, ringGap, -ringGap, -ringGap);
    const QPointF local = event->position();
    int chosen = int(SelectionHandle::move);
    for (SelectionHandle h : resizeHandles) {
        const QPointF at = handlePoint(h, flipped(inner));
        if (QLineF(QPointF(at.x(), -at.y()), local).length() <= 8) {
            chosen = int(h);
            break;
        }
    }
    drag_ = Drag{chosen, event->globalPosition(), globalRect};
}

void LongCaptureRegionView::mouseMoveEvent(QMouseEvent* event) {
    if (!drag_ || !showsHandles_)
        return;
    const QPointF delta = event->globalPosition() - drag_->start;
    const QRectF next =
        adjustedTopLeft(SelectionHandle(drag_->handle), drag_->rect, delta, constraint);
    if (onAdjust)
        onAdjust(next);
}

void LongCaptureRegionView::mouseReleaseEvent(QMouseEvent* event) {
    mouseMoveEvent(event);
    drag_.reset();
}

// Move button -------------------------------------------------------------------------

LongCaptureMoveButton::LongCaptureMoveButton() {
    const QString tip = QStringLiteral("拖动选区 · 采集中沿截图方向延伸");
    setToolTip(tip);
    setAccessibleName(tip);
    setFixedSize(30, 30);
    setCursor(Qt::OpenHandCursor);
}

void LongCaptureMoveButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(isEnabled() ? palette().color(QPalette::WindowText) : QColor(170, 170, 170), 1.6,
                  Qt::SolidLine, Qt::RoundCap));
    const QPointF c = QRectF(rect()).center();
    // Four arrows out of the centre.
    for (const QPointF d : {QPointF(0, -1), QPointF(0, 1), QPointF(-1, 0), QPointF(1, 0)}) {
        const QPointF tip = c + d * 9;
        p.drawLine(c, tip);
        const QPointF side(d.y(), d.x());
        p.drawLine(tip, tip - d * 3 + side * 3);
        p.drawLine(tip, tip - d * 3 - side * 3);
    }
}

void LongCaptureMoveButton::mousePressEvent(QMouseEvent* event) {
    if (!isEnabled())
        return;
    origin_ = event->globalPosition();
    setCursor(Qt::ClosedHandCursor);
    if (onBegin)
        onBegin();
}

void LongCaptureMoveButton::mouseMoveEvent(QMouseEvent* event) {
    if (origin_ && onMove)
        onMove(event->globalPosition() - *origin_);
}

void LongCaptureMoveButton::mouseReleaseEvent(QMouseEvent* event) {
    if (!origin_)
        return;
    if (onMove)
        onMove(event->globalPosition() - *origin_);
    origin_.reset();
    setCursor(Qt::OpenHandCursor);
    if (onEnd)
        onEnd();
}

} // namespace korvel
