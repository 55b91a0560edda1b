#include "x11hotkeys.h"

#include "../keymap.h"

#include <QCoreApplication>

#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

namespace korvel::x11 {
namespace {

bool asciiLetterOrDigit(char32_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

QString upper(char32_t c) {
    return QString::fromUcs4(&c, 1).toUpper();
}

// Time stamps wrap after 49 days; compared as a signed distance.
bool earlier(xcb_timestamp_t a, xcb_timestamp_t b) {
    return qint32(a - b) < 0;
}

// Repeats come every few dozen milliseconds; a press later than this after
// the previous one is a new press even if its release went unseen.
constexpr xcb_timestamp_t repeatGap = 1000;

} // namespace

void HotKeys::KeymapDeleter::operator()(xkb_keymap* keymap) const {
    xkb_keymap_unref(keymap);
}

HotKeys::HotKeys(Connection& connection)
    : connection_(connection)
    , context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {
    if (xkb_x11_setup_xkb_extension(
            connection_.get(), XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr))
        keyboard_ = xkb_x11_get_core_keyboard_device_id(connection_.get());
    clock_.start();
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installNativeEventFilter(this);
}

HotKeys::~HotKeys() {
    unregisterHotKey();
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    xkb_context_unref(context_);
}

HotKeys::Keymap HotKeys::keymap() {
    if (!context_ || keyboard_ < 0)
        return nullptr;
    return Keymap(xkb_x11_keymap_new_from_device(context_, connection_.get(), keyboard_,
                                                 XKB_KEYMAP_COMPILE_NO_FLAGS));
}

std::optional<quint32> HotKeys::keyCodeForKey(quint32 nativeScanCode, quint32 nativeVirtualKey) {
    if (const Keymap map = keymap()) {
        const char* name = xkb_keymap_key_get_name(map.get(), nativeScanCode);
        return name ? keyCodeForKeyName(name) : std::nullopt;
    }
    return korvel::HotKeys::keyCodeForKey(nativeScanCode, nativeVirtualKey);
}

QString HotKeys::keyName(quint32 keyCode) {
    const Keymap map = keymap();
    const QByteArray name = xkbKeyName(keyCode).toByteArray();
    const xkb_keycode_t key =
        map ? xkb_keymap_key_by_name(map.get(), name.constData()) : XKB_KEYCODE_INVALID;
    if (!typesCharacter(keyCode) || key == XKB_KEYCODE_INVALID)
        return usKeyName(keyCode);

    // The layout in use first, then the others a user switches to.
    xkb_layout_index_t current = 0;
    if (xkb_state* state = xkb_x11_state_new_from_device(map.get(), connection_.get(), keyboard_)) {
        current = xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_EFFECTIVE);
        xkb_state_unref(state);
    }
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(map.get(), key);
    const auto symbol = [&](xkb_layout_index_t layout, xkb_level_index_t level) -> char32_t {
        const xkb_keysym_t* syms = nullptr;
        if (level >= xkb_keymap_num_levels_for_key(map.get(), key, layout) ||
            xkb_keymap_key_get_syms_by_level(map.get(), key, layout, level, &syms) != 1)
            return 0;
        return xkb_keysym_to_utf32(syms[0]);
    };
    // Shortcuts are named with Latin letters and digits: a French "1" key
    // types "&" unshifted, a Russian "A" key "ф".
    for (xkb_layout_index_t i = 0; i < layouts; ++i) {
        const xkb_layout_index_t layout = (current + i) % layouts;
        for (xkb_level_index_t level = 0; level < 2; ++level) {
            if (const char32_t c = symbol(layout, level); asciiLetterOrDigit(c))
                return upper(c);
        }
    }
    if (const char32_t c = current < layouts ? symbol(current, 0) : 0; c > 0x20 && c != 0x7f)
        return upper(c);
    return usKeyName(keyCode);
}

bool HotKeys::grab(const Grab& g) {
    return connection_.grabKey(g.keycode, g.mask);
}

void HotKeys::ungrab(const Grab& g) {
    connection_.ungrabKey(g.keycode, g.mask);
}

bool HotKeys::registerHotKey(quint32 keyCode, quint32 modifiers) {
    std::optional<xcb_keycode_t> keycode;
    if (const Keymap map = keymap()) {
        const QByteArray name = xkbKeyName(keyCode).toByteArray();
        const xkb_keycode_t key = name.isEmpty()
                                      ? XKB_KEYCODE_INVALID
                                      : xkb_keymap_key_by_name(map.get(), name.constData());
        if (key != XKB_KEYCODE_INVALID && key <= 255)
            keycode = xcb_keycode_t(key);
    } else if (const auto keysym = keysymForKeyCode(keyCode)) {
        keycode = connection_.keycode(*keysym);
    }
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
    held_ = false;
    return true;
}

void HotKeys::unregisterHotKey() {
    if (active_ && !xcb_connection_has_error(connection_.get()))
        ungrab(*active_);
    active_.reset();
}

void HotKeys::noteServerTime(xcb_timestamp_t time) {
    const qint64 gap = clock_.elapsed() - qint64(time);
    if (!serverGap_ || gap < *serverGap_)
        serverGap_ = gap;
}

void HotKeys::discardQueuedPresses() {
    if (serverGap_)
        discardBefore_ = xcb_timestamp_t(clock_.elapsed() - *serverGap_);
}

bool HotKeys::freshPress(xcb_timestamp_t time) {
    const bool repeat =
        (held_ && !earlier(lastPress_ + repeatGap, time)) || (!held_ && time == lastRelease_);
    held_ = true;
    lastPress_ = time;
    if (repeat)
        return false;
    return !(discardBefore_ && earlier(time, *discardBefore_));
}

bool HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    // Presses and releases share one layout.
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    noteServerTime(key->time);
    if (!active_ || key->detail != active_->keycode)
        return false;
    if (type == XCB_KEY_RELEASE) {
        held_ = false;
        lastRelease_ = key->time;
        return false;
    }
    constexpr uint16_t relevant =
        XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
    if ((key->state & relevant) != active_->mask)
        return false;
    if (freshPress(key->time) && onPressed)
        onPressed();
    return true;
}

} // namespace korvel::x11
