#include "x11windowhints.h"

namespace korvel::x11 {

void WindowHints::showOnAllDesktops(quintptr window) {
    xcb_connection_t* c = connection_.get();
    if (!window || xcb_connection_has_error(c))
        return;
    const xcb_atom_t desktop = connection_.atom("_NET_WM_DESKTOP");
    // 0xFFFFFFFF is "all desktops".
    const quint32 all = 0xffffffffu;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, xcb_window_t(window), desktop, XCB_ATOM_CARDINAL,
                        32, 1, &all);
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(window);
    message.type = desktop;
    message.data.data32[0] = all;
    message.data.data32[1] = 1; // the request comes from an application
    xcb_send_event(c, 0, connection_.root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(c);
}

// EWMH: a compositing manager owns the selection _NET_WM_CM_S<screen>.
bool WindowHints::compositing() {
    xcb_connection_t* c = connection_.get();
    if (xcb_connection_has_error(c))
        return false;
    int screen = 0;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it)) {
        if (it.data->root == connection_.root())
            break;
        ++screen;
    }
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
    Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        c, xcb_get_selection_owner(c, connection_.atom(name.constData())), nullptr));
    return owner && owner->owner != XCB_NONE;
}

} // namespace korvel::x11
