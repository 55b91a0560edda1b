#pragma once

#include "../windowlist.h"
#include "x11connection.h"

namespace korvel::x11 {

// What the user sees as a top-level window, in root pixels: the client area,
// grown by the frame a window manager draws (when `managed`), less the
// invisible shadow of client-side decorations. The window list and the
// window stream share it, so frames line up with the listed bounds.
std::optional<QRect> windowBounds(Connection& connection, xcb_window_t window, bool managed);
// Whether a window manager keeps the EWMH stacking list.
bool windowManaged(Connection& connection);

// Top-level windows from the EWMH stacking list, or from the root's children
// when no window manager runs.
class WindowList final : public korvel::WindowList {
public:
    explicit WindowList(Connection& connection)
        : connection_(connection) {}

    std::vector<WindowInfo> windows() override;
    std::optional<WindowInfo> window(quint32 id) override;
    std::optional<qint64> activePid() override;
    void activate(quint32 window) override;

private:
    std::vector<xcb_window_t> stackingFrontToBack(bool& managed);
    std::optional<WindowInfo> describe(xcb_window_t window, bool managed);
    int layerOf(xcb_window_t window, bool overrideRedirect);

    Connection& connection_;
};

} // namespace korvel::x11
