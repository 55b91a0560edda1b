#pragma once

#include "../keytap.h"
#include "x11connection.h"

#include <QAbstractNativeEventFilter>

#include <map>

namespace korvel::x11 {

// Passive grabs of Return, Space and Escape on the root window (with and
// without Shift and the lock modifiers), held only while the active window
// belongs to the target or to us; the active window is followed through
// _NET_ACTIVE_WINDOW. Without a window manager every window counts as the
// target's.
class KeyTap final : public korvel::KeyTap, public QAbstractNativeEventFilter {
public:
    KeyTap(Connection& connection, qint64 ownPid);
    ~KeyTap() override;

    bool start(qint64 targetPid) override;
    void stop() override;
    bool running() const override { return running_; }
    bool grabbed() const { return grabbed_; }

    // One event of the connection; true when it was the tap's.
    bool handle(const xcb_generic_event_t* event);
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void follow();
    bool targetActive();
    void setGrabbed(bool grabbed);

    Connection& connection_;
    qint64 ownPid_;
    qint64 targetPid_ = 0;
    bool running_ = false;
    bool grabbed_ = false;
    std::map<xcb_keycode_t, int> keys_; // X key code → the tap's key code
    std::map<xcb_keycode_t, bool> down_;
    // A release directly followed by a press of the same time is X's
    // auto-repeat without detectable repeat.
    xcb_keycode_t releasedKey_ = 0;
    xcb_timestamp_t releasedAt_ = 0;
};

} // namespace korvel::x11
