#pragma once

#include <QMessageBox>

#include <memory>

namespace korvel {

class AccessibilityTree;

namespace ChildRegionPermissionGuide {

// The one-time alert explaining what desktop accessibility adds to region
// detection; buttons "去开启" (index 0) and "先截图".
std::unique_ptr<QMessageBox> alert(const QString& shortcut);

// What "去开启" does on Linux: switch desktop accessibility on. When that
// is refused, the alert that explains it (not yet shown); else null.
std::unique_ptr<QMessageBox> openSettings(AccessibilityTree& tree);

} // namespace ChildRegionPermissionGuide
} // namespace korvel
