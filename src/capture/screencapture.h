#pragma once

#include "screensnapshot.h"

#include "platform/accessibilitytree.h"

#include <memory>

namespace korvel {

struct CaptureOptions {
    qint64 ownPid = 0;
    double scale = 1.0;
    // Whether child regions may come from other applications' element trees
    // as well as from the pixels; needs a tree.
    bool usingAccessibility = true;
    std::shared_ptr<AccessibilityTree> accessibility;
};

// Freezes every display: one snapshot per display, primary first, each with
// the other applications' windows on it. Throws korvel::Error when a display
// cannot be read or none can be captured; never returns a partial list.
std::vector<ScreenSnapshot> captureScreens(ScreenSource& screens, WindowList& windows,
                                           const CaptureOptions& options);

} // namespace korvel
