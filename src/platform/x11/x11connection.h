#pragma once

#include <QByteArray>
#include <QHash>
#include <xcb/xcb.h>

#include <memory>
#include <optional>
#include <vector>

namespace korvel::x11 {

// Frees an xcb reply with free(), as xcb requires.
struct FreeDeleter {
    void operator()(void* p) const;
};
template <class T> using Reply = std::unique_ptr<T, FreeDeleter>;

// The X connection the backends share. Borrowed from Qt inside the
// application, owned when a tool or benchmark opens its own.
class Connection {
public:
    static std::unique_ptr<Connection> open(const char* displayName = nullptr);
    static std::unique_ptr<Connection> borrow(xcb_connection_t* connection, int screen);
    ~Connection();

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    xcb_connection_t* get() const { return connection_; }
    xcb_window_t root() const { return root_; }
    xcb_screen_t* screen() const { return screen_; }

    xcb_atom_t atom(const char* name);

    // A property as 32-bit items; empty when absent, of another type or format.
    std::optional<std::vector<quint32>> cardinals(xcb_window_t window, xcb_atom_t property,
                                                  xcb_atom_t type);
    std::optional<QByteArray> bytes(xcb_window_t window, xcb_atom_t property);

    // The first key code whose unshifted symbol is `keysym`.
    std::optional<xcb_keycode_t> keycode(quint32 keysym);
    // The modifier bit Num Lock sits on; 0 when it has none. Key grabs are
    // repeated with it and with Caps Lock, which X treats as modifiers.
    uint16_t numLockMask();
    // Grabs `keycode` with `mask` on the root window, also with the lock
    // modifiers held; all or nothing. False when another client holds one.
    bool grabKey(xcb_keycode_t keycode, uint16_t mask);
    void ungrabKey(xcb_keycode_t keycode, uint16_t mask);

private:
    Connection(xcb_connection_t* connection, int screen, bool owned);

    xcb_connection_t* connection_;
    xcb_screen_t* screen_ = nullptr;
    xcb_window_t root_ = 0;
    bool owned_;
    QHash<QByteArray, xcb_atom_t> atoms_;
};

} // namespace korvel::x11
