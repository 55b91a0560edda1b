#pragma once

#include <optional>
#include <QRectF>
#include <QString>
#include <vector>

namespace korvel {

// A top-level window as the window manager describes it. Fields the server
// did not supply, or supplied malformed, stay empty; the capture decides what
// an empty field means.
struct WindowInfo {
    quint32 id = 0;
    std::optional<qint64> pid;
    // 0 for normal and dialog windows; docks, panels, menus and desktops
    // carry other values.
    std::optional<int> layer;
    // 0 (transparent) … 1 (opaque); empty when the window sets no opacity.
    std::optional<double> alpha;
    // The window's outer frame in root-window device pixels.
    std::optional<QRectF> bounds;
    QString owner;
    QString title;
};

class WindowList {
public:
    virtual ~WindowList() = default;

    // On-screen windows, front to back.
    virtual std::vector<WindowInfo> windows() = 0;
    // One of them by id, cheaper where the backend can look it up alone;
    // empty when it is gone or no longer on screen.
    virtual std::optional<WindowInfo> window(quint32 id) {
        for (WindowInfo& w : windows()) {
            if (w.id == id)
                return std::move(w);
        }
        return std::nullopt;
    }
    // The process owning the window with the keyboard focus; empty when
    // nobody can tell.
    virtual std::optional<qint64> activePid() { return std::nullopt; }
    // Asks the window manager to bring the window forward with the focus.
    virtual void activate(quint32 window) { Q_UNUSED(window); }
};

} // namespace korvel
