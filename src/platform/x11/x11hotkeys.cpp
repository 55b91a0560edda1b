#include "x11hotkeys.h"

#include "../keymap.h"

#include <QCoreApplication>

namespace korvel::x11 {

HotKeys::HotKeys(Connection& connection)
    : connection_(connection) {
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installNativeEventFilter(this);
}

HotKeys::~HotKeys() {
    unregisterHotKey();
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool HotKeys::grab(const Grab& g) {
    return connection_.grabKey(g.keycode, g.mask);
}

void HotKeys::ungrab(const Grab& g) {
    connection_.ungrabKey(g.keycode, g.mask);
}

bool HotKeys::registerHotKey(quint32 keyCode, quint32 modifiers) {
    const auto keysym = keysymForKeyCode(keyCode);
    if (!keysym)
        return false;
    const auto keycode = connection_.keycode(*keysym);
    if (!keycode)
        return false;
    uint16_t mask = 0;
    if (modifiers & modifier::control)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & modifier::shift)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & modifier::option)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & modifier::command)
        mask |= XCB_MOD_MASK_4;
    const Grab next{*keycode, mask};
    if (active_ && active_->keycode == next.keycode && active_->mask == next.mask)
        return true;
    if (!grab(next))
        return false;
    if (active_)
        ungrab(*active_);
    active_ = next;
    return true;
}

void HotKeys::unregisterHotKey() {
    if (active_ && !xcb_connection_has_error(connection_.get()))
        ungrab(*active_);
    active_.reset();
}

bool HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (!active_ || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS)
        return false;
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    constexpr uint16_t relevant =
        XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
    if (key->detail != active_->keycode || (key->state & relevant) != active_->mask)
        return false;
    if (onPressed)
        onPressed();
    return true;
}

} // namespace korvel::x11
