#pragma once

// Input events as the window system delivers them, for the widget tests.

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

namespace korvel::test {

// A mouse event at `p` in widget coordinates; `held` are the buttons down
// once it is handled. Says whether the widget took it.
inline bool mouse(QWidget* w, QEvent::Type type, QPointF p, Qt::MouseButtons held,
                  Qt::KeyboardModifiers m = {}, Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent e(type, p, w->mapToGlobal(p), type == QEvent::MouseMove ? Qt::NoButton : button,
                  held, m);
    QApplication::sendEvent(w, &e);
    return e.isAccepted();
}

// The left button pressed at `from`, moved to `to` in `steps` and released.
inline void drag(QWidget* w, QPointF from, QPointF to, int steps = 2,
                 Qt::KeyboardModifiers m = {}) {
    mouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton, m);
    for (int i = 1; i <= steps; ++i)
        mouse(w, QEvent::MouseMove, from + (to - from) * i / steps, Qt::LeftButton, m);
    mouse(w, QEvent::MouseButtonRelease, to, Qt::NoButton, m);
}

inline void click(QWidget* w, QPointF p) {
    drag(w, p, p, 0);
}

// A key press, or the shortcut override before it (ignored unless a widget claims it).
inline bool key(QWidget* w, int k, Qt::KeyboardModifiers m = {},
                QEvent::Type type = QEvent::KeyPress) {
    QKeyEvent e(type, k, m);
    if (type == QEvent::ShortcutOverride)
        e.ignore();
    QApplication::sendEvent(w, &e);
    return e.isAccepted();
}

inline void wheel(QWidget* w, QPointF at, QPoint angle, Qt::KeyboardModifiers m = {}) {
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), angle, Qt::NoButton, m, Qt::NoScrollPhase,
                  false);
    QApplication::sendEvent(w, &e);
}

} // namespace korvel::test
