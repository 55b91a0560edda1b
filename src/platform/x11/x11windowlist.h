#pragma once

#include "../windowlist.h"
#include "x11connection.h"

namespace korvel::x11 {

// Top-level windows from the EWMH stacking list, or from the root's children
// when no window manager runs.
class WindowList final : public korvel::WindowList {
public:
    explicit WindowList(Connection& connection)
        : connection_(connection) {}

    std::vector<WindowInfo> windows() override;
    std::optional<qint64> activePid() override;
    void activate(quint32 window) override;

private:
    std::vector<xcb_window_t> stackingFrontToBack(bool& managed);
    std::optional<WindowInfo> describe(xcb_window_t window, bool managed);
    int layerOf(xcb_window_t window, bool overrideRedirect);

    Connection& connection_;
};

} // namespace korvel::x11
