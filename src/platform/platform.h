#pragma once

#include "accessibilitytree.h"
#include "hotkeys.h"
#include "keytap.h"
#include "screensource.h"
#include "scrollposter.h"
#include "windowhints.h"
#include "windowlist.h"
#include "windowstream.h"

#include <functional>
#include <memory>

namespace korvel {

// What the running backend can do, so the UI offers only what works.
struct Capabilities {
    bool screenCapture = false;
    bool windowList = false;
    // Child regions from other applications' accessibility trees (regions
    // from the pixels work everywhere).
    bool childRegions = false;
    bool liveStream = false;
    bool syntheticScroll = false;
    bool globalKeys = false;
    // Return, Space and Escape of a long capture while another window has
    // the keyboard.
    bool keyTap = false;
    // Whether top-level windows go where the program puts them; on Wayland
    // the compositor places them.
    bool placesWindows = false;
};

struct Platform {
    // What the services below depend on (the display connection). Declared
    // first so it is destroyed last.
    std::shared_ptr<void> backend;
    std::unique_ptr<ScreenSource> screens;
    std::unique_ptr<WindowList> windows;
    // Shared: child-region queries still running on their worker hold it.
    std::shared_ptr<AccessibilityTree> accessibility;
    std::unique_ptr<HotKeys> hotKeys;
    std::unique_ptr<KeyTap> keyTap;
    std::unique_ptr<ScrollPoster> scrolls;
    // A new live stream of one window per long capture; empty without one.
    std::function<std::unique_ptr<WindowStream>()> openWindowStream;
    // Absent where the window manager cannot be told (tests, offscreen).
    std::unique_ptr<WindowHints> windowHints;
    Capabilities capabilities;
    // Why there is no synthetic scroll, where the user should know (a
    // desktop that could offer it): the long capture's panel says so.
    QString noScrollReason;
    // Device pixels per point (Qt's device pixel ratio of the desktop).
    double scale = 1.0;
};

// Before the application object exists: on a Wayland session Qt runs
// natively (falling back to X11) unless QT_QPA_PLATFORM says otherwise.
void preferNativePlatform();

// Picks the backend for the running Qt platform plugin. Needs a
// QGuiApplication. Services without a backend are replaced by inert ones.
std::unique_ptr<Platform> createPlatform();

// The accessibility service alone; works without a display.
std::unique_ptr<AccessibilityTree> createAccessibilityTree();

} // namespace korvel
