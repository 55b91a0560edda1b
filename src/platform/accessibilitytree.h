#pragma once

namespace korvel {

class AccessibilityTree {
public:
    virtual ~AccessibilityTree() = default;

    // Whether other applications' accessibility trees can be read.
    virtual bool isTrusted() = 0;
};

} // namespace korvel
