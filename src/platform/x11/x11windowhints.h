#pragma once

#include "../windowhints.h"
#include "x11connection.h"

namespace korvel::x11 {

// EWMH hints: _NET_WM_DESKTOP set on the window before it is mapped, and
// asked of the window manager once it is.
class WindowHints final : public korvel::WindowHints {
public:
    explicit WindowHints(Connection& connection)
        : connection_(connection) {}

    void showOnAllDesktops(quintptr window) override;
    bool compositing() override;

private:
    Connection& connection_;
};

} // namespace korvel::x11
