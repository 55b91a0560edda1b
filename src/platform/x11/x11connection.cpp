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

} // namespace korvel::x11
