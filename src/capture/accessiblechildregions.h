#pragma once

#include "screensnapshot.h"

#include "platform/accessibilitytree.h"

#include <optional>
#include <vector>

namespace korvel {

// Where one display sits, for turning element positions (root pixels) into
// its display-local points and back.
struct AccessibilityPlacement {
    QRectF screen; // the display frame, global bottom-left points
    double primaryTop = 0;
    DesktopLayout layout;
};

// Element rectangles around a display-local point in the accessibility tree
// of process pid, display-local and clipped to the display: the hit element
// and its ancestors, then (unless those already give a usable region inside
// `window`) a bounded search of the subtree around the point. Blocks on the
// other application, within a 0.6-second budget between calls; empty when
// accessibility is not trusted. Call it from one thread only.
std::vector<QRectF> accessibleChildRegions(AccessibilityTree& tree, qint32 pid, QPointF point,
                                           const AccessibilityPlacement& placement,
                                           std::optional<QRectF> window);

// Once per application per run, however many displays or captures ask.
void prepareAccessibility(AccessibilityTree& tree, const AccessibleElement& application);

} // namespace korvel
