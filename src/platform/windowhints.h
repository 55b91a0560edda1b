#pragma once

#include <QtGlobal>

namespace korvel {

// Whether the compositor, not the program, decides where top-level windows
// go (Wayland): a window can then only ask to fill one output.
bool compositorPlacesWindows();

// What a window manager is told about a window that Qt has no words for.
class WindowHints {
public:
    virtual ~WindowHints() = default;

    // Keeps a top-level window (its native id) on every virtual desktop.
    virtual void showOnAllDesktops(quintptr window) = 0;
    // Whether a compositing manager runs, which gives windows their shadows.
    virtual bool compositing() = 0;
};

} // namespace korvel
