#include "x11windowlist.h"

#include <QString>

#include <algorithm>
#include <cmath>

namespace korvel::x11 {
namespace {

// Stacking layers reported for window types that are never hover targets.
constexpr int desktopLayer = -1;
constexpr int utilityLayer = 3;
constexpr int dockLayer = 20;
constexpr int popupLayer = 101;

} // namespace

bool windowManaged(Connection& connection) {
    return connection
        .cardinals(connection.root(), connection.atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW)
        .has_value();
}

std::optional<QRect> windowBounds(Connection& connection, xcb_window_t window, bool managed) {
    xcb_connection_t* c = connection.get();
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, window, connection.root(), 0, 0), nullptr));
    if (!geometry || !origin)
        return std::nullopt;
    QRect bounds(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    if (managed) {
        // The frame the window manager draws around the client is part of
        // what the user sees as the window.
        if (auto extents = connection.cardinals(window, connection.atom("_NET_FRAME_EXTENTS"),
                                                XCB_ATOM_CARDINAL);
            extents && extents->size() == 4 &&
            std::all_of(extents->begin(), extents->end(), [](quint32 v) { return v < 4096; })) {
            const auto& e = *extents; // left, right, top, bottom
            bounds.adjust(-int(e[0]), -int(e[2]), int(e[1]), int(e[3]));
        }
    }
    // Client-side decorations draw an invisible shadow inside the window
    // and say how wide it is; the user sees only what lies within.
    if (auto shadow =
            connection.cardinals(window, connection.atom("_GTK_FRAME_EXTENTS"), XCB_ATOM_CARDINAL);
        shadow && shadow->size() == 4 &&
        std::all_of(shadow->begin(), shadow->end(), [](quint32 v) { return v < 4096; })) {
        const auto& e = *shadow; // left, right, top, bottom
        const QRect inner = bounds.adjusted(int(e[0]), int(e[2]), -int(e[1]), -int(e[3]));
        if (inner.width() > 0 && inner.height() > 0)
            bounds = inner;
    }
    return bounds;
}

std::vector<WindowInfo> WindowList::windows() {
    bool managed = false;
    std::vector<WindowInfo> result;
    for (xcb_window_t window : stackingFrontToBack(managed)) {
        if (auto info = describe(window, managed))
            result.push_back(std::move(*info));
    }
    return result;
}

// One window's description without listing them all: the long capture
// checks its source this way ten times a second.
std::optional<WindowInfo> WindowList::window(quint32 id) {
    return describe(id, windowManaged(connection_));
}

std::optional<qint64> WindowList::activePid() {
    const auto active = connection_.cardinals(
        connection_.root(), connection_.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    if (!active || active->size() != 1 || active->front() == XCB_WINDOW_NONE)
        return std::nullopt;
    const auto pid =
        connection_.cardinals(active->front(), connection_.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);
    if (!pid || pid->size() != 1)
        return std::nullopt;
    return qint64(pid->front());
}

void WindowList::activate(quint32 window) {
    // The pager's way (source 2): window managers honour it without the
    // focus-stealing checks they apply to applications.
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = connection_.atom("_NET_ACTIVE_WINDOW");
    message.data.data32[0] = 2;
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection_.get(), 0, connection_.root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection_.get());
}

std::vector<xcb_window_t> WindowList::stackingFrontToBack(bool& managed) {
    auto stacking = connection_.cardinals(
        connection_.root(), connection_.atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW);
    managed = stacking.has_value();
    std::vector<xcb_window_t> windows;
    if (managed) {
        windows.assign(stacking->begin(), stacking->end());
    } else {
        xcb_connection_t* c = connection_.get();
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, connection_.root()), nullptr));
        if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            windows.assign(children, children + xcb_query_tree_children_length(tree.get()));
        }
    }
    // Both lists run bottom to top.
    std::reverse(windows.begin(), windows.end());
    return windows;
}

std::optional<WindowInfo> WindowList::describe(xcb_window_t window, bool managed) {
    xcb_connection_t* c = connection_.get();
    // A window listed a moment ago may be gone now: every request below can
    // fail, and a failure only drops the window.
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
        attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
        return std::nullopt;
    const std::optional<QRect> bounds = windowBounds(connection_, window, managed);
    if (!bounds)
        return std::nullopt;

    WindowInfo info;
    info.id = window;
    info.bounds = QRectF(*bounds);

    if (auto pid =
            connection_.cardinals(window, connection_.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);
        pid && pid->size() == 1)
        info.pid = qint64(pid->front());
    info.layer = layerOf(window, attributes->override_redirect != 0);
    if (auto opacity = connection_.cardinals(window, connection_.atom("_NET_WM_WINDOW_OPACITY"),
                                             XCB_ATOM_CARDINAL);
        opacity && opacity->size() == 1)
        info.alpha = double(opacity->front()) / 4294967295.0;

    if (auto wmClass = connection_.bytes(window, XCB_ATOM_WM_CLASS)) {
        // "instance\0class\0": the class names the application.
        const QList<QByteArray> parts = wmClass->split('\0');
        info.owner = QString::fromLocal8Bit(parts.size() > 1 ? parts[1] : parts.value(0));
    }
    if (auto name = connection_.bytes(window, connection_.atom("_NET_WM_NAME")))
        info.title = QString::fromUtf8(*name);
    else if (auto legacy = connection_.bytes(window, XCB_ATOM_WM_NAME))
        info.title = QString::fromLatin1(*legacy);
    return info;
}

int WindowList::layerOf(xcb_window_t window, bool overrideRedirect) {
    if (overrideRedirect)
        return popupLayer; // menus and tooltips place themselves
    auto types =
        connection_.cardinals(window, connection_.atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM);
    // Without a type a window is a normal one.
    if (!types || types->empty())
        return 0;
    const std::pair<const char*, int> known[] = {
        {"_NET_WM_WINDOW_TYPE_NORMAL", 0},
        {"_NET_WM_WINDOW_TYPE_DIALOG", 0},
        {"_NET_WM_WINDOW_TYPE_DESKTOP", desktopLayer},
        {"_NET_WM_WINDOW_TYPE_DOCK", dockLayer},
        {"_NET_WM_WINDOW_TYPE_TOOLBAR", utilityLayer},
        {"_NET_WM_WINDOW_TYPE_MENU", popupLayer},
        {"_NET_WM_WINDOW_TYPE_UTILITY", utilityLayer},
        {"_NET_WM_WINDOW_TYPE_SPLASH", utilityLayer},
        {"_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", popupLayer},
        {"_NET_WM_WINDOW_TYPE_POPUP_MENU", popupLayer},
        {"_NET_WM_WINDOW_TYPE_TOOLTIP", popupLayer},
        {"_NET_WM_WINDOW_TYPE_NOTIFICATION", popupLayer},
    };
    // The list is in order of preference; the first type we know wins.
    for (quint32 type : *types) {
        for (const auto& [name, layer] : known) {
            if (connection_.atom(name) == type)
                return layer;
        }
    }
    return 0;
}

} // namespace korvel::x11
