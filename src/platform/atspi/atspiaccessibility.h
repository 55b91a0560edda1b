#pragma once

#include "../accessibilitytree.h"

namespace korvel::atspi {

// The desktop's accessibility bus (AT-SPI2). Other applications' trees can be
// read when the bus launcher answers on the session bus and accessibility is
// switched on (org.a11y.Status.IsEnabled).
class Accessibility final : public AccessibilityTree {
public:
    bool isTrusted() override;
};

} // namespace korvel::atspi
