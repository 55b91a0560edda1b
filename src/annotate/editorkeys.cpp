// The capture's keyboard and right clicks: every overlay's keys and presses
// pass through the editor's application-wide event filter.
#include "editor.h"

#include "annotationtoolbar.h"
#include "canvas.h"
#include "capture/pixelmagnifier.h"
#include "capture/selectionadjustment.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>

namespace korvel {

// Keyboard and right clicks -------------------------------------------------------------

OverlayWindow* Editor::overlayOf(QObject* object) const {
    auto* widget = qobject_cast<QWidget*>(object);
    QWidget* top = widget ? widget->window() : nullptr;
    for (OverlayWindow* overlay : overlays_) {
        if (overlay == top)
            return overlay;
    }
    return nullptr;
}

bool Editor::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    // A quick second right press arrives as a double click; it counts too.
    const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
    if (type != QEvent::KeyPress && !press && type != QEvent::ShortcutOverride)
        return false;
    OverlayWindow* overlay = overlayOf(watched);
    if (!overlay || isClosed())
        return false;
    if (type == QEvent::ShortcutOverride) {
        // Window shortcuts of bypass windows fire only while Qt counts them
        // active, which the grab does not guarantee: the editor takes its key
        // equivalents as plain key presses instead.
        if (!keyEquivalent(*static_cast<QKeyEvent*>(event)))
            return false;
        event->accept();
        return true;
    }
    if (press) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::RightButton)
            return false;
        if (!canvas_)
            close();
        else if (busy_)
            return false;
        else
            reselect(qobject_cast<QWidget*>(watched), mouse->globalPosition());
        return true;
    }
    return handleKey(static_cast<QKeyEvent*>(event), overlay);
}

bool Editor::handleKey(QKeyEvent* event, OverlayWindow* overlay) {
    if (handleSharedKey(
            *event, [&] { return captureKey(*event, overlay); }, false))
        return true;
    if (std::function<void()> action = keyEquivalent(*event)) {
        action();
        return true;
    }
    return false;
}

bool Editor::captureKey(const QKeyEvent& event, OverlayWindow* overlay) {
    const Qt::KeyboardModifiers mods = event.modifiers();
    const bool plain =
        !(mods & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    const int key = event.key();
    if (key == Qt::Key_Space && plain && !canvas_) {
        // Keys arrive at the overlay holding the keyboard; the choice is made
        // on the display the pointer is on: the overlay it entered, as Wayland
        // tells no global position, else the last position seen.
        OverlayWindow* pointed = overlay;
        for (OverlayWindow* o : overlays_) {
            if (o->isVisible() && o->geometry().contains(QCursor::pos()))
                pointed = o;
        }
        for (OverlayWindow* o : overlays_) {
            if (o->isVisible() && o->view()->underMouse())
                pointed = o;
        }
        pointed->view()->toggleWindowSelection();
        return true;
    }
    const bool arrow =
        key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
    if (arrow && canvas_ && !canvas_->selectedMarkIndex() && !(mods & editingModifiers))
        return nudgeSelection(key, mods & Qt::ShiftModifier, overlay);
    // Option+C on the original keyboard: Alt+C.
    if (key == Qt::Key_C && (mods & editingModifiers) == Qt::AltModifier) {
        bool done = false;
        for (OverlayWindow* o : overlays_) {
            SelectionView* v = o->view();
            if (!v->selected && v->magnifier()->isVisible() && v->magnifier()->sample())
                done = v->magnifier()->copyColor() || done;
        }
        return done;
    }
    return false;
}

std::function<void()> Editor::keyEquivalent(const QKeyEvent& event) {
    // The toolbar's Control shortcuts and the redo of the window menus.
    if (!canvas_ || !toolbar_ || typing())
        return {};
    const Qt::KeyboardModifiers mods = event.modifiers() & (editingModifiers | Qt::ShiftModifier);
    const bool control = mods == Qt::ControlModifier;
    switch (event.key()) {
    case Qt::Key_Z:
        if (control)
            return [this] { toolbar_->onUndo(); };
        if (mods == (Qt::ControlModifier | Qt::ShiftModifier))
            return [this] { toolbar_->onRedo(); };
        return {};
    case Qt::Key_P:
        return control ? std::function<void()>([this] { pin(); }) : nullptr;
    case Qt::Key_S:
        return control ? std::function<void()>([this] { save(); }) : nullptr;
    case Qt::Key_C:
        return control ? std::function<void()>([this] { copy(); }) : nullptr;
    default:
        return {};
    }
}

bool Editor::nudgeSelection(int key, bool shift, OverlayWindow* overlay) {
    SelectionView* view = overlay->view();
    if (!view->selection || canvas_->parentWidget() != view)
        return false;
    const double step = shift ? 10 : 1;
    const QSize image = view->snapshot().image.size();
    const double dx = step * view->width() / std::max(1, image.width());
    const double dy = step * view->height() / std::max(1, image.height());
    QPointF delta;
    switch (key) {
    case Qt::Key_Left:
        delta = QPointF(-dx, 0);
        break;
    case Qt::Key_Right:
        delta = QPointF(dx, 0);
        break;
    case Qt::Key_Down:
        delta = QPointF(0, -dy);
        break;
    default:
        delta = QPointF(0, dy);
        break;
    }
    updateSelection(adjusted(SelectionHandle::move, *view->selection, delta, view->bounds(), false),
                    view);
    return true;
}

} // namespace korvel
