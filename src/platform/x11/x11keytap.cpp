#include "x11keytap.h"

#include <QCoreApplication>

namespace korvel::x11 {
namespace {

constexpr uint16_t heldModifiers = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

} // namespace

KeyTap::KeyTap(Connection& connection, qint64 ownPid)
    : connection_(connection)
    , ownPid_(ownPid) {
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installNativeEventFilter(this);
}

KeyTap::~KeyTap() {
    stop();
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool KeyTap::start(qint64 targetPid) {
    if (running_ || xcb_connection_has_error(connection_.get()))
        return running_;
    keys_.clear();
    const std::pair<quint32, int> wanted[] = {
        {0xff0d, returnKey}, {0x0020, space}, {0xff1b, escape}};
    for (const auto& [keysym, key] : wanted) {
        if (auto code = connection_.keycode(keysym))
            keys_[*code] = key;
    }
    if (keys_.empty())
        return false;
    // Active-window changes arrive as property changes of the root window.
    // The mask is shared with the toolkit on its connection: add, never drop.
    xcb_connection_t* c = connection_.get();
    Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        c, xcb_get_window_attributes(c, connection_.root()), nullptr));
    const uint32_t mask =
        (attributes ? attributes->your_event_mask : 0) | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, connection_.root(), XCB_CW_EVENT_MASK, &mask);
    targetPid_ = targetPid;
    running_ = true;
    down_.clear();
    follow();
    return true;
}

void KeyTap::stop() {
    if (!running_)
        return;
    setGrabbed(false);
    running_ = false;
}

void KeyTap::setGrabbed(bool grabbed) {
    if (grabbed == grabbed_ || xcb_connection_has_error(connection_.get()))
        return;
    for (const auto& entry : keys_) {
        for (uint16_t mask : {uint16_t(0), uint16_t(XCB_MOD_MASK_SHIFT)}) {
            // A key another client holds stays theirs; the others still work.
            if (grabbed)
                connection_.grabKey(entry.first, mask);
            else
                connection_.ungrabKey(entry.first, mask);
        }
    }
    grabbed_ = grabbed;
    xcb_flush(connection_.get());
}

bool KeyTap::targetActive() {
    const xcb_window_t root = connection_.root();
    const auto active =
        connection_.cardinals(root, connection_.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    if (!active || active->size() != 1)
        return true; // no window manager tells us: the capture is all there is
    if (active->front() == XCB_WINDOW_NONE)
        return false;
    const auto pid =
        connection_.cardinals(active->front(), connection_.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);
    if (!pid || pid->size() != 1)
        return targetPid_ < 1; // neither side knows its process
    const auto owner = qint64(pid->front());
    return owner == targetPid_ || owner == ownPid_;
}

void KeyTap::follow() {
    setGrabbed(running_ && targetActive());
}

bool KeyTap::handle(const xcb_generic_event_t* event) {
    if (!running_)
        return false;
    const uint8_t type = event->response_type & 0x7f;
    if (type == XCB_PROPERTY_NOTIFY) {
        const auto* property = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (property->window == connection_.root() &&
            property->atom == connection_.atom("_NET_ACTIVE_WINDOW"))
            follow();
        return false; // the toolkit may follow the same property
    }
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    const auto found = keys_.find(key->detail);
    if (!grabbed_ || found == keys_.end() || key->event != connection_.root())
        return false;
    if (type == XCB_KEY_RELEASE) {
        down_[key->detail] = false;
        releasedKey_ = key->detail;
        releasedAt_ = key->time;
        return true;
    }
    const bool repeat =
        down_[key->detail] || (releasedKey_ == key->detail && releasedAt_ == key->time);
    down_[key->detail] = true;
    if (!repeat && !(key->state & heldModifiers) && onKey)
        onKey(found->second);
    return true;
}

bool KeyTap::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    return eventType == "xcb_generic_event_t" &&
           handle(static_cast<const xcb_generic_event_t*>(message));
}

} // namespace korvel::x11
