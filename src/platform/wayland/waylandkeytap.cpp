#include "waylandkeytap.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace korvel::wayland {

KeyTap::~KeyTap() {
    stop();
}

bool KeyTap::start(qint64) {
    if (!qGuiApp)
        return false;
    if (!running_)
        qGuiApp->installEventFilter(this);
    running_ = true;
    return true;
}

void KeyTap::stop() {
    if (running_ && qGuiApp)
        qGuiApp->removeEventFilter(this);
    running_ = false;
}

bool KeyTap::eventFilter(QObject* watched, QEvent* event) {
    // A key reaches its window first, then the widget with the focus: the
    // window alone counts, so each press is seen once.
    if (event->type() != QEvent::KeyPress || !watched->isWindowType())
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    int code = 0;
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        code = returnKey;
        break;
    case Qt::Key_Space:
        code = space;
        break;
    case Qt::Key_Escape:
        code = escape;
        break;
    default:
        return false;
    }
    if (!key->isAutoRepeat() && onKey)
        onKey(code);
    return true;
}

} // namespace korvel::wayland
