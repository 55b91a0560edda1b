#include "x11hotkeys.h"

#include "../keymap.h"

#include <QCoreApplication>

#include <cstdlib>

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

std::optional<xcb_keycode_t> HotKeys::keycodeFor(quint32 keysym) {
    xcb_connection_t* c = connection_.get();
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    Reply<xcb_get_keyboard_mapping_reply_t> map(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, uint8_t(count)), nullptr));
    if (!map || map->keysyms_per_keycode == 0)
        return std::nullopt;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
    const int per = map->keysyms_per_keycode;
    const int total = xcb_get_keyboard_mapping_keysyms_length(map.get());
    for (int i = 0; i < count && (i + 1) * per <= total; ++i) {
        if (syms[size_t(i) * size_t(per)] == keysym)
            return xcb_keycode_t(setup->min_keycode + i);
    }
    return std::nullopt;
}

uint16_t HotKeys::numLockMask() {
    const auto numLock = keycodeFor(0xff7f);
    if (!numLock)
        return 0;
    xcb_connection_t* c = connection_.get();
    Reply<xcb_get_modifier_mapping_reply_t> map(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
    if (!map)
        return 0;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map.get());
    const int per = map->keycodes_per_modifier;
    for (int mod = 0; mod < 8; ++mod) {
        for (int k = 0; k < per; ++k) {
            if (codes[size_t(mod) * size_t(per) + size_t(k)] == *numLock)
                return uint16_t(1u << mod);
        }
    }
    return 0;
}

bool HotKeys::grab(const Grab& g) {
    xcb_connection_t* c = connection_.get();
    const uint16_t numLock = numLockMask();
    const uint16_t extras[] = {0, XCB_MOD_MASK_LOCK, numLock,
                               uint16_t(numLock | XCB_MOD_MASK_LOCK)};
    xcb_void_cookie_t cookies[4];
    for (int i = 0; i < 4; ++i)
        cookies[i] = xcb_grab_key_checked(c, 1, connection_.root(), uint16_t(g.mask | extras[i]),
                                          g.keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    bool ok = true;
    for (auto cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
            ok = false; // BadAccess: another client holds the combination
            std::free(error);
        }
    }
    if (!ok)
        ungrab(g);
    return ok;
}

void HotKeys::ungrab(const Grab& g) {
    xcb_connection_t* c = connection_.get();
    const uint16_t numLock = numLockMask();
    for (uint16_t extra :
         {uint16_t(0), uint16_t(XCB_MOD_MASK_LOCK), numLock, uint16_t(numLock | XCB_MOD_MASK_LOCK)})
        xcb_ungrab_key(c, g.keycode, connection_.root(), uint16_t(g.mask | extra));
    xcb_flush(c);
}

bool HotKeys::registerHotKey(quint32 keyCode, quint32 modifiers) {
    const auto keysym = keysymForKeyCode(keyCode);
    if (!keysym)
        return false;
    const auto keycode = keycodeFor(*keysym);
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
