#include "canvas.h"

#include "annotationpreferences.h"
#include "canvascommands.h"
#include "export/pngencoder.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace korvel {
namespace {

constexpr double widthPresets[] = {1.5, 3, 6};

double distance(QPointF a, QPointF b) {
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

} // namespace

Canvas::Canvas(QImage image, QSize pixels, QUndoStack* undoStack, QWidget* parent)
    : QWidget(parent)
    , ink(systemRed())
    , undoStack_(undoStack) {
    if (!undoStack_)
        undoStack_ = new QUndoStack(this);
    setImage(std::move(image), pixels);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, opaque_);
    const double w = std::max(1, pixelWidth_), h = std::max(1, pixelHeight_);
    const double s = std::min({1100 / w, 720 / h, 1.0});
    resize(QSizeF(w * s, h * s).toSize());
}

Canvas::~Canvas() = default;

void Canvas::setImage(QImage image, QSize pixels) {
    image_ = std::move(image);
    pixelWidth_ = std::max(0, pixels.width());
    pixelHeight_ = std::max(0, pixels.height());
    opaque_ = isOpaqueImage(image_);
    privacyCache_.clear();
    update();
}

void Canvas::setFrame(const QRectF& frame) {
    frame_ = frame;
    setGeometry(frame.toAlignedRect());
    // Outside the bounds the parent shows through.
    setAttribute(Qt::WA_OpaquePaintEvent, opaque_ && viewRect() == QRectF(rect()));
    update();
}

QRectF Canvas::viewRect() const {
    if (frame_) {
        const QRect widget = frame_->toAlignedRect();
        if (widget.size() == size())
            return QRectF(frame_->topLeft() - QPointF(widget.topLeft()), frame_->size());
    }
    return QRectF(rect());
}

bool Canvas::validIndex(std::optional<int> index) const {
    return index && *index >= 0 && *index < marks_.size();
}

void Canvas::push(QUndoCommand* command) {
    if (undoStack_) {
        undoStack_->push(command);
    } else {
        command->redo();
        delete command;
    }
}

QPointF Canvas::toAnnotation(QPointF w) const {
    const QRectF view = viewRect();
    return QPointF(w.x() - view.x(), view.y() + view.height() - w.y()) + annotationOrigin;
}

QPointF Canvas::toWidget(QPointF a) const {
    const QRectF view = viewRect();
    const QPointF v = a - annotationOrigin;
    return QPointF(view.x() + v.x(), view.y() + view.height() - v.y());
}

QPointF Canvas::pointerPosition(QPointF w) const {
    const QRectF view = viewRect();
    const QPointF v = toAnnotation(w) - annotationOrigin;
    return QPointF(std::clamp(v.x(), 0.0, view.width()), std::clamp(v.y(), 0.0, view.height())) +
           annotationOrigin;
}

QRectF Canvas::limits() const {
    return QRectF(annotationOrigin, viewRect().size());
}

bool Canvas::brushActive() const {
    return tool == Tool::mosaic && mosaicMode == MosaicMode::brush && !selectionOnly;
}

// Selection and style ---------------------------------------------------------

void Canvas::selectMark(std::optional<int> index) {
    if (validIndex(index)) {
        selected_ = index;
        const Mark& m = marks_[*index];
        ink = m.color;
        strokeWidth = m.width;
        if (m.tool == Tool::text || m.tool == Tool::number)
            fontSize = m.fontSize;
    } else {
        selected_.reset();
    }
    update();
    updateCursorAreas();
    if (onStyleChange)
        onStyleChange();
}

void Canvas::applyStyle(std::optional<QColor> color, std::optional<double> width) {
    if (color)
        ink = *color;
    if (width) {
        strokeWidth = *width;
        updateCursorAreas(); // the brush ring has the width's size
    }
    if (validIndex(selected_)) {
        const Mark& m = marks_[*selected_];
        if (m.color != ink || m.width != strokeWidth) {
            Mark restyled = m;
            restyled.color = ink;
            restyled.width = strokeWidth;
            push(new ReplaceMarkCommand(*this, *selected_, m, restyled));
        }
    }
    if (onStyleChange)
        onStyleChange();
}

void Canvas::applyFontSize(double size) {
    fontSize = std::clamp(std::isfinite(size) ? size : 24.0, 10.0, 96.0);
    if (textField_) {
        textField_->setFont(textMarkAt(QPointF(), QString()).textFont());
        refitTextField();
    }
    if (validIndex(selected_)) {
        const Mark& m = marks_[*selected_];
        if (m.tool == Tool::text || m.tool == Tool::number) {
            Mark resized = m;
            resized.fontSize = fontSize;
            push(new ReplaceMarkCommand(*this, *selected_, m, resized));
        }
    }
    if (onStyleChange)
        onStyleChange();
}

void Canvas::adjustStyleByWheel(double delta) {
    if (delta == 0 || !std::isfinite(delta))
        return;
    const Tool target = validIndex(selected_) ? marks_[*selected_].tool : tool;
    if (target == Tool::text || target == Tool::number) {
        applyFontSize(delta > 0 ? fontSize + 2 : fontSize - 2);
        return;
    }
    double preset = delta > 0 ? 6 : 1.5;
    if (delta > 0) {
        for (double p : widthPresets) {
            if (p > strokeWidth) {
                preset = p;
                break;
            }
        }
    } else {
        for (auto it = std::rbegin(widthPresets); it != std::rend(widthPresets); ++it) {
            if (*it < strokeWidth) {
                preset = *it;
                break;
            }
        }
    }
    applyStyle(std::nullopt, preset);
}

// Undoable operations ---------------------------------------------------------

void Canvas::removeLastMark() {
    if (!marks_.isEmpty())
        marks_.removeLast();
    selectMark(std::nullopt);
}

void Canvas::restore(const Mark& mark) {
    marks_.append(mark);
    if (mark.isMosaicBrush() && brushActive())
        selectMark(std::nullopt);
    else
        selectMark(int(marks_.size()) - 1);
}

void Canvas::replaceMark(int index, const Mark& mark) {
    if (!validIndex(index))
        return;
    marks_[index] = mark;
    selectMark(index);
}

void Canvas::removeMark(int index) {
    if (!validIndex(index))
        return;
    marks_.removeAt(index);
    selectMark(std::nullopt);
}

void Canvas::insertMark(int index, const Mark& mark) {
    if (index < 0 || index > marks_.size())
        return;
    marks_.insert(index, mark);
    selectMark(index);
}

// Mouse --------------------------------------------------------------------

// What every press does first: only the left button edits, a text being
// edited is committed, and the canvas takes the focus.
std::optional<QPointF> Canvas::beginPress(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return std::nullopt;
    }
    commitText();
    setFocus(Qt::MouseFocusReason);
    return pointerPosition(event->position());
}

void Canvas::mousePressEvent(QMouseEvent* event) {
    const std::optional<QPointF> press = beginPress(event);
    if (!press)
        return;
    const QPointF p = *press;

    if (brushActive()) {
        markDrag_.reset();
        resizeHandle_.reset();
        arrowEndpoint_.reset();
        selectMark(std::nullopt);
        Mark m = styledMark(Tool::mosaic, {p});
        m.mosaicBrush = true;
        m.fontSize = 24;
        draft_ = m;
        update();
        return;
    }

    draft_.reset();
    markDrag_.reset();
    resizeHandle_.reset();
    arrowEndpoint_.reset();
    if (validIndex(selected_)) {
        const int i = *selected_;
        const Mark& m = marks_[i];
        if (m.tool == Tool::arrow) {
            for (qsizetype j = 0; j < m.points.size(); ++j) {
                if (distance(m.points[j], p) <= 8) {
                    arrowEndpoint_ = int(j);
                    markDrag_ = MarkDrag{i, p, m};
                    return;
                }
            }
        } else if (m.canResize()) {
            for (SelectionHandle h : resizeHandles) {
                if (distance(handlePoint(h, m.bounds()), p) <= 7) {
                    resizeHandle_ = h;
                    markDrag_ = MarkDrag{i, p, m};
                    return;
                }
            }
        }
    }
    for (int k = int(marks_.size()) - 1; k >= 0; --k) {
        const Mark& m = marks_[k];
        const bool insideGrab = (selectionOnly || selected_ == k) &&
                                (m.tool == Tool::rectangle || m.tool == Tool::ellipse) &&
                                m.path().contains(p);
        if (m.hitTest(p) || insideGrab) {
            selectMark(k);
            markDrag_ = MarkDrag{k, p, m};
            return;
        }
    }
    selectMark(std::nullopt);
    if (selectionOnly)
        return;
    if (tool == Tool::text) {
        beginText(p, std::nullopt);
        return;
    }
    Mark m = styledMark(tool, {p, p});
    m.number = nextMarkerNumber(marks_);
    draft_ = m;
}

void Canvas::mouseDoubleClickEvent(QMouseEvent* event) {
    // Every press of the brush is a dab, however quickly it follows the last.
    if (brushActive()) {
        mousePressEvent(event);
        return;
    }
    const std::optional<QPointF> press = beginPress(event);
    if (!press)
        return;
    const QPointF p = *press;
    draft_.reset();
    markDrag_.reset();
    for (int k = int(marks_.size()) - 1; k >= 0; --k) {
        const Mark& m = marks_[k];
        if (m.tool == Tool::text && m.hitTest(p)) {
            beginText(m.points.value(0), k);
            return;
        }
    }
    if (onCopy)
        onCopy();
}

void Canvas::dragTo(QPointF p, bool shift) {
    if (markDrag_) {
        const auto& [i, s, o] = *markDrag_;
        if (!validIndex(i))
            return;
        Mark edited = o;
        if (arrowEndpoint_) {
            if (*arrowEndpoint_ < edited.points.size())
                edited.points[*arrowEndpoint_] = p;
        } else if (!resizeHandle_) {
            for (QPointF& point : edited.points)
                point += p - s;
        } else {
            const QRectF before = o.bounds();
            const bool scalesText = o.tool == Tool::text || o.tool == Tool::number;
            const QRectF r = adjusted(*resizeHandle_, before, p - s, limits(), scalesText || shift);
            if (scalesText) {
                const double factor =
                    before.height() < 1 ? r.height() : r.height() / before.height();
                edited.fontSize = std::clamp(o.fontSize * factor, 10.0, 96.0);
                edited.points = {o.tool == Tool::text ? r.topLeft() : r.center()};
            } else {
                edited.points = {r.topLeft(), QPointF(r.x() + r.width(), r.y() + r.height())};
            }
        }
        marks_[i] = edited;
        update();
        return;
    }
    if (!draft_)
        return;
    Mark& d = *draft_;
    if (d.tool == Tool::pen || d.tool == Tool::highlight || d.isMosaicBrush()) {
        if (d.points.isEmpty() || d.points.back() != p)
            d.points.append(p);
    } else if (d.tool == Tool::number) {
        d.points = {p};
    } else if (!d.points.isEmpty()) {
        const QPointF end = shift ? constrainedEndpoint(d.points.front(), p, d.tool, limits()) : p;
        if (d.points.size() < 2)
            d.points.append(end);
        else
            d.points[1] = end;
    }
    update();
}

void Canvas::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) {
        dragTo(pointerPosition(event->position()), event->modifiers() & Qt::ShiftModifier);
        return;
    }
    updateCursor(event->position());
    event->ignore();
}

void Canvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    dragTo(pointerPosition(event->position()), event->modifiers() & Qt::ShiftModifier);
    if (markDrag_) {
        const MarkDrag drag = *markDrag_;
        markDrag_.reset();
        resizeHandle_.reset();
        arrowEndpoint_.reset();
        if (validIndex(drag.index)) {
            const Mark now = marks_[drag.index];
            if (now.points != drag.original.points || now.fontSize != drag.original.fontSize)
                push(new ReplaceMarkCommand(*this, drag.index, drag.original, now));
            selectMark(drag.index);
        }
        return;
    }
    if (draft_ && !draft_->points.isEmpty()) {
        const Mark d = *draft_;
        draft_.reset();
        const QPointF first = d.points.front();
        bool keep = false;
        if (d.isMosaicBrush() || d.tool == Tool::number)
            keep = true;
        else if (d.tool == Tool::pen || d.tool == Tool::highlight)
            keep = std::any_of(d.points.begin(), d.points.end(),
                               [&](QPointF q) { return distance(q, first) > 2; });
        else
            keep = distance(first, d.points.back()) > 2;
        if (keep)
            push(new AddMarkCommand(*this, d));
    }
    draft_.reset();
    update();
}

// Keys and wheel -------------------------------------------------------------

void Canvas::keyPressEvent(QKeyEvent* event) {
    if (!validIndex(selected_)) {
        event->ignore();
        return;
    }
    const int i = *selected_;
    switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        push(new RemoveMarkCommand(*this, i, marks_[i]));
        return;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down: {
        // One image pixel per press, ten with Shift.
        const double step = (event->modifiers() & Qt::ShiftModifier) ? 10 : 1;
        const double dx = pixelWidth_ > 0 ? step * viewWidth() / pixelWidth_ : step;
        const double dy = pixelHeight_ > 0 ? step * viewHeight() / pixelHeight_ : step;
        QPointF offset;
        switch (event->key()) {
        case Qt::Key_Left:
            offset = QPointF(-dx, 0);
            break;
        case Qt::Key_Right:
            offset = QPointF(dx, 0);
            break;
        case Qt::Key_Down:
            offset = QPointF(0, -dy);
            break;
        default:
            offset = QPointF(0, dy);
            break;
        }
        Mark moved = marks_[i];
        for (QPointF& p : moved.points)
            p += offset;
        push(new ReplaceMarkCommand(*this, i, marks_[i], moved));
        return;
    }
    default:
        event->ignore();
    }
}

void Canvas::wheelEvent(QWheelEvent* event) {
    const double delta = event->angleDelta().y();
    if (selectionOnly || textField_ || delta == 0 || !std::isfinite(delta)) {
        event->ignore();
        return;
    }
    // Trackpads and free-spinning wheels send bursts: one step per 0.12 s.
    if (lastWheelChange_.isValid() && lastWheelChange_.elapsed() < 120)
        return;
    lastWheelChange_.start();
    adjustStyleByWheel(delta);
}

// Text -------------------------------------------------------------------------

// A new mark in the canvas's current style.
Mark Canvas::styledMark(Tool markTool, QList<QPointF> points) const {
    Mark m;
    m.tool = markTool;
    m.points = std::move(points);
    m.color = ink;
    m.width = strokeWidth;
    m.mosaicBrush = false;
    m.number = 1;
    m.fontSize = fontSize;
    return m;
}

Mark Canvas::textMarkAt(QPointF origin, const QString& text) const {
    Mark m = styledMark(Tool::text, {origin});
    m.text = text;
    return m;
}

void Canvas::beginText(QPointF p, std::optional<int> index) {
    if (textField_)
        commitText();
    textIndex_ = validIndex(index) ? index : std::nullopt;
    selectMark(textIndex_);
    const QRectF view = viewRect();
    const double h = textIndex_ ? marks_[*textIndex_].bounds().height() : fontSize * 1.25;
    const double x = std::min(p.x() - annotationOrigin.x(), std::max(view.width() - 160.0, 0.0));
    const double y = std::max(std::min(p.y() - annotationOrigin.y(), view.height() - h), 0.0);
    const double w = std::min(view.width(), 320.0);

    auto* field = new AnnotationTextView(this);
    field->setFont(textMarkAt(QPointF(), QString()).textFont());
    QPalette palette = field->palette();
    palette.setColor(QPalette::Text, ink);
    field->setPalette(palette);
    field->setPlainText(textIndex_ ? marks_[*textIndex_].text : QString());
    // View space (y up) to widget space.
    field->setGeometry(
        QRectF(view.x() + x, view.y() + view.height() - (y + h), w, h).toAlignedRect());
    field->onFinish = [this] {
        commitText();
        setFocus();
    };
    field->onCancel = [this] { cancelText(); };
    connect(field, &QPlainTextEdit::textChanged, this, &Canvas::refitTextField);
    textField_ = field;
    field->show();
    field->setFocus(Qt::OtherFocusReason);
    update();
}

void Canvas::refitTextField() {
    if (!textField_)
        return;
    const Mark provisional = textMarkAt(QPointF(), textField_->toPlainText());
    const QRectF b = provisional.bounds();
    const QRect frame = textField_->geometry();
    const QRectF view = viewRect();
    const double h = std::max(b.height(), fontSize * 1.25);
    const double w = std::min(std::max(b.width() + 8, 160.0),
                              std::max(view.x() + view.width() - frame.x(), 1.0));
    // The top edge stays put while lines are added, until the editor reaches
    // the bottom of the view; then it grows upwards instead.
    const double top = std::min(double(frame.y()), view.y() + view.height() - h);
    textField_->setGeometry(QRectF(frame.x(), top, w, h).toAlignedRect());
}

void Canvas::commitText() {
    if (!textField_)
        return;
    const QString text = textField_->toPlainText();
    const QRect frame = textField_->geometry();
    const std::optional<int> index = textIndex_;
    detachTextField();

    // The mark's top edge is the editor's top edge.
    const Mark measured = textMarkAt(QPointF(), text);
    const QPointF topLeft = toAnnotation(QPointF(frame.topLeft()));
    Mark m = textMarkAt(topLeft - QPointF(0, measured.bounds().height()), text);
    if (text.trimmed().isEmpty()) {
        if (validIndex(index))
            push(new RemoveMarkCommand(*this, *index, marks_[*index]));
    } else if (validIndex(index)) {
        push(new ReplaceMarkCommand(*this, *index, marks_[*index], m));
    } else {
        push(new AddMarkCommand(*this, m));
    }
    update();
}

void Canvas::cancelText() {
    if (!textField_)
        return;
    detachTextField();
    setFocus();
    update();
}

// The editor goes later: this may run inside its own key handling.
void Canvas::detachTextField() {
    AnnotationTextView* field = textField_;
    textField_ = nullptr;
    textIndex_.reset();
    field->onFinish = nullptr;
    field->onCancel = nullptr;
    field->hide();
    field->deleteLater();
}

void Canvas::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    update();
}

} // namespace korvel
