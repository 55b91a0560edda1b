#include "x11connection.h"

#include <cstdlib>
#include <cstring>

namespace korvel::x11 {

void FreeDeleter::operator()(void* p) const {
    std::free(p);
}

std::unique_ptr<Connection> Connection::open(const char* displayName) {
    int screen = 0;
    xcb_connection_t* c = xcb_connect(displayName, &screen);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    return std::unique_ptr<Connection>(new Connection(c, screen, true));
}

std::unique_ptr<Connection> Connection::borrow(xcb_connection_t* connection, int screen) {
    if (!connection || xcb_connection_has_error(connection))
        return nullptr;
    return std::unique_ptr<Connection>(new Connection(connection, screen, false));
}

Connection::Connection(xcb_connection_t* connection, int screen, bool owned)
    : connection_(connection)
    , owned_(owned) {
    auto it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; it.rem && i < screen; ++i)
        xcb_screen_next(&it);
    screen_ = it.data;
    root_ = screen_ ? screen_->root : 0;
}

Connection::~Connection() {
    if (owned_)
        xcb_disconnect(connection_);
}

xcb_atom_t Connection::atom(const char* name) {
    const QByteArray key(name);
    if (auto it = atoms_.constFind(key); it != atoms_.constEnd())
        return *it;
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, std::strlen(name), name), nullptr));
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    atoms_.insert(key, value);
    return value;
}

std::optional<std::vector<quint32>> Connection::cardinals(xcb_window_t window, xcb_atom_t property,
                                                          xcb_atom_t type) {
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, property, type, 0, 4096), nullptr));
    if (!reply || reply->type != type || reply->format != 32)
        return std::nullopt;
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    const auto* data = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
    return std::vector<quint32>(data, data + count);
}

std::optional<QByteArray> Connection::bytes(xcb_window_t window, xcb_atom_t property) {
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
        nullptr));
    if (!reply || reply->format != 8 || reply->type == XCB_ATOM_NONE)
        return std::nullopt;
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

std::optional<xcb_keycode_t> Connection::keycode(quint32 keysym) {
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    Reply<xcb_get_keyboard_mapping_reply_t> map(xcb_get_keyboard_mapping_reply(
        connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, uint8_t(count)),
        nullptr));
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

uint16_t Connection::numLockMask() {
    const auto numLock = keycode(0xff7f);
    if (!numLock)
        return 0;
    Reply<xcb_get_modifier_mapping_reply_t> map(xcb_get_modifier_mapping_reply(
        connection_, xcb_get_modifier_mapping(connection_), nullptr));
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

bool Connection::grabKey(xcb_keycode_t keycode, uint16_t mask) {
    const uint16_t numLock = numLockMask();
    const uint16_t extras[] = {0, XCB_MOD_MASK_LOCK, numLock,
                               uint16_t(numLock | XCB_MOD_MASK_LOCK)};
    xcb_void_cookie_t cookies[4];
    for (int i = 0; i < 4; ++i)
        cookies[i] = xcb_grab_key_checked(connection_, 0, root_, uint16_t(mask | extras[i]),
                                          keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    bool ok = true;
    for (auto cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
            ok = false; // BadAccess: another client holds the combination
            std::free(error);
        }
    }
    if (!ok)
        ungrabKey(keycode, mask);
    return ok;
}

void Connection::ungrabKey(xcb_keycode_t keycode, uint16_t mask) {
    const uint16_t numLock = numLockMask();
    for (uint16_t extra :
         {uint16_t(0), uint16_t(XCB_MOD_MASK_LOCK), numLock, uint16_t(numLock | XCB_MOD_MASK_LOCK)})
        xcb_ungrab_key(connection_, keycode, root_, uint16_t(mask | extra));
    xcb_flush(connection_);
}

} // namespace korvel::x11
