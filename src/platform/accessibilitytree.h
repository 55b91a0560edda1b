#pragma once

#include <QPoint>
#include <QRectF>
#include <QString>

#include <optional>
#include <vector>

namespace korvel {

// A handle on one element of another application's accessibility tree: the
// backend's name for it. Two handles are equal when they name one element.
struct AccessibleElement {
    QString id;

    explicit operator bool() const { return !id.isEmpty(); }
    bool operator==(const AccessibleElement& other) const { return id == other.id; }
};

// Other applications' element trees. The element calls block on the other
// application and must all come from one thread; each is bounded by the call
// timeout. Positions and extents are root-window pixels.
class AccessibilityTree {
public:
    virtual ~AccessibilityTree() = default;

    // Whether other applications' accessibility trees can be read.
    virtual bool isTrusted() = 0;
    // False where positions from the trees are not screen positions (on
    // Wayland they are the windows' own): then nothing asks for them.
    virtual bool usable() const { return true; }
    // Switches desktop accessibility on so toolkits expose their trees;
    // false when that was refused or there is no accessibility bus.
    virtual bool enable() { return false; }

    virtual void setCallTimeout(int /*milliseconds*/) {}
    virtual AccessibleElement application(qint32 /*pid*/) { return {}; }
    // Done once per application per run before its tree is read.
    virtual void prepare(const AccessibleElement& /*application*/) {}
    virtual std::vector<AccessibleElement> windows(const AccessibleElement& /*application*/) {
        return {};
    }
    // The deepest element of the application at a root-pixel position.
    virtual AccessibleElement elementAt(const AccessibleElement& /*application*/,
                                        QPoint /*position*/) {
        return {};
    }
    virtual AccessibleElement parent(const AccessibleElement& /*element*/) { return {}; }
    virtual std::vector<AccessibleElement> children(const AccessibleElement& /*element*/,
                                                    int /*limit*/) {
        return {};
    }
    virtual std::optional<QRectF> extents(const AccessibleElement& /*element*/) {
        return std::nullopt;
    }
};

} // namespace korvel
