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

std::optional<quint32> HotKeys::keyCodeForKey(quint32 nativeScanCode, quint32 nativeVirtualKey) {
    xcb_connection_t* c = connection_.get();
    const xcb_setup_t* setup = xcb_get_setup(c);
    if (nativeScanCode >= setup->min_keycode && nativeScanCode <= setup->max_keycode) {
        Reply<xcb_get_keyboard_mapping_reply_t> map(xcb_get_keyboard_mapping_reply(
            c, xcb_get_keyboard_mapping(c, xcb_keycode_t(nativeScanCode), 1), nullptr));
        // The first symbol of a key is the one it types without modifiers.
        if (map && map->keysyms_per_keycode > 0 &&
            xcb_get_keyboard_mapping_keysyms_length(map.get()) > 0) {
            if (auto code = keyCodeForKeysym(xcb_get_keyboard_mapping_keysyms(map.get())[0]))
                return code;
        }
    }
    return korvel::HotKeys::keyCodeForKey(nativeScanCode, nativeVirtualKey);
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
    const Grab next{*keycode, xModifierMask(modifiers)};
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
